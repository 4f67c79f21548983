// The page's C API over the core, as thin as the command line's run.cpp: a
// file's bytes shown (its format, colours and names, or the line the
// command line refuses it with) and converted (the output's bytes and
// name), each outputs gathered into one ZIP, and the CMYK profile the
// colours are converted through. page.js calls these through the module
// emscripten makes; every result stays in the session until the next call.
#pragma once

#include <cstddef>

namespace kolorvane::web {
struct Session;
}

using kolorvane::web::Session;

extern "C" {

// A session, holding nothing yet, converting CMYK through the built-in
// profile; null when the memory cannot be had. kv_end gives it all back.
Session* kv_start();
void kv_end(Session* session);

// Room for `size` bytes of a file the page hands over, valid until the
// next call; null when the memory cannot be had.
unsigned char* kv_source(Session* session, std::size_t size);

// The `size` bytes put at kv_source, as the file `name`, read as the format
// `from` names ("" for the one its name and bytes say) and listed: 1 when
// they were, 0 when refused (kv_message says why).
int kv_show(Session* session, std::size_t size, const char* name, const char* from);

// The same, and converted into the format `to` names ("" for the source's
// default): 1 when kv_output holds the output. A palette of more colours
// than that format holds is refused, or with `truncate` (--truncate) cut
// to the first colours it holds, which kv_note then says.
int kv_convert(Session* session, std::size_t size, const char* name, const char* from,
               const char* to, int truncate);

// Why the last call refused, in the command line's words, without
// "kolorvane-cli: FILE: "; and which refusal it was (kv_refusal: 0 none, 1
// a name no format reads, 2 a .pal of none of the kinds read, 3 any other).
const char* kv_message(const Session* session);
int kv_refusal(const Session* session);

// The warning for converted CMYK and Lab colours, or "".
const char* kv_warning(const Session* session);

// What --truncate left out of the last output, or "".
const char* kv_note(const Session* session);

// The file shown or converted: the name of the format it was read as and
// of the one it converts to (the default, or `to`), its colours (three
// bytes each, red, green, blue) and names (UTF-8, with their sizes).
const char* kv_format(const Session* session);
const char* kv_target(const Session* session);
std::size_t kv_count(const Session* session);
const unsigned char* kv_colors(const Session* session);
const char* kv_palette_name(const Session* session);
std::size_t kv_palette_name_size(const Session* session);
const char* kv_color_name(const Session* session, std::size_t index);
std::size_t kv_color_name_size(const Session* session, std::size_t index);

// The output of the last kv_convert, or the ZIP of the last kv_zip_finish,
// and the output's file name.
const unsigned char* kv_output(const Session* session);
std::size_t kv_output_size(const Session* session);
const char* kv_output_name(const Session* session);

// "Save all": a new ZIP, the last output added to it as `name`, and the
// whole archive into kv_output. 0 when it could not be had.
void kv_zip_start(Session* session);
int kv_zip_add(Session* session, const char* name);
int kv_zip_finish(Session* session);

// The `size` bytes at kv_source as the CMYK profile from now on, checked
// as --cmyk-profile checks one (an empty file is no profile): 1 when it was
// taken, 0 when refused (kv_message), the profile in use kept.
int kv_use_profile(Session* session, std::size_t size);
// The description of the CMYK profile the user chose, "" for the built-in.
const char* kv_profile(const Session* session);

// The formats of the table, in its order: name, title, extension, and
// whether it is written.
std::size_t kv_format_count();
const char* kv_format_name(std::size_t index);
const char* kv_format_title(std::size_t index);
const char* kv_format_extension(std::size_t index);
int kv_format_writes(std::size_t index);
}
