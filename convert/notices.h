// The notice texts, as code page 932 bytes, so that they do not depend on the
// source file's or the compiler's character set. The window shows them read
// in that code page, whatever the system's own.
#pragma once

namespace kolorvane {

// The code page the texts below are stored in: Shift-JIS.
constexpr unsigned kNoticeCodePage = 932;

// 読込エラー1 ("read error 1"), 11 bytes; the digit is ASCII.
constexpr char kBadHeaderText[] = "\x93\xC7\x8D\x9E\x83\x47\x83\x89\x81\x5B\x31";

// 変換を完了しました ("the conversion is complete"), 18 bytes.
constexpr char kConvertedText[] =
    "\x95\xCF\x8A\xB7\x82\xF0\x8A\xAE\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// 取り扱えるファイルではありません ("not a file that can be handled"), 32 bytes.
constexpr char kUnsupportedText[] =
    "\x8E\xE6\x82\xE8\x88\xB5\x82\xA6\x82\xE9\x83\x74\x83\x40\x83\x43"
    "\x83\x8B\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";

// 警告 ("warning") and 確認 ("confirmation"), 4 bytes each.
constexpr char kWarningCaption[] = "\x8C\x78\x8D\x90";
constexpr char kConfirmCaption[] = "\x8A\x6D\x94\x46";

}  // namespace kolorvane
