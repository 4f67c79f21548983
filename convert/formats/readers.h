// Each format's detect, read and write, gathered into kFormats by
// formats.cpp; the formats' own files define them.
#pragma once

#include <cstddef>

#include "format.h"

namespace kolorvane::formats {

// HSB (HSV) as .aco holds it, each of hue (in turns), saturation and
// brightness from 0 to 1, to 8-bit RGB: the one formula every format with
// HSB colours reads them by.
Color colorFromHsb(double hue, double saturation, double brightness);

bool detectEdge(const unsigned char* bytes, std::size_t size);
ReadError readEdge(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeEdge(const Palette& palette, ByteBuffer* bytes);

ReadError readAct(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeAct(const Palette& palette, ByteBuffer* bytes);

bool detectJasc(const unsigned char* bytes, std::size_t size);
ReadError readJasc(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeJasc(const Palette& palette, ByteBuffer* bytes);

bool detectRiff(const unsigned char* bytes, std::size_t size);
ReadError readRiff(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeRiff(const Palette& palette, ByteBuffer* bytes);

ReadError readGpl(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeGpl(const Palette& palette, ByteBuffer* bytes);

ReadError readHex(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeHex(const Palette& palette, ByteBuffer* bytes);

ReadError readPaintNet(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writePaintNet(const Palette& palette, ByteBuffer* bytes);

ReadError readAco(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeAco(const Palette& palette, ByteBuffer* bytes);

ReadError readAse(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeAse(const Palette& palette, ByteBuffer* bytes);

// Images (images/), by the rules of images/image.h.

ReadError readPng(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readPngStream(const ByteSource& source, Palette* palette);
std::size_t writePng(const Palette& palette, ByteBuffer* bytes);

ReadError readBmp(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readBmpStream(const ByteSource& source, Palette* palette);
std::size_t writeBmp(const Palette& palette, ByteBuffer* bytes);

ReadError readPcx(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readPcxStream(const ByteSource& source, Palette* palette);
std::size_t writePcx(const Palette& palette, ByteBuffer* bytes);

ReadError readTga(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readTgaStream(const ByteSource& source, Palette* palette);
std::size_t writeTga(const Palette& palette, ByteBuffer* bytes);

ReadError readGif(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readGifStream(const ByteSource& source, Palette* palette);
std::size_t writeGif(const Palette& palette, ByteBuffer* bytes);

bool detectIlbm(const unsigned char* bytes, std::size_t size);
ReadError readIlbm(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readIlbmStream(const ByteSource& source, Palette* palette);
std::size_t writeIlbm(const Palette& palette, ByteBuffer* bytes);

// The palettes of retro tools and games.

bool detectCol(const unsigned char* bytes, std::size_t size);
ReadError readCol(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeCol(const Palette& palette, ByteBuffer* bytes);

bool detectVga(const unsigned char* bytes, std::size_t size);
ReadError readVga(const unsigned char* bytes, std::size_t size, Palette* palette);

ReadError readNes(const unsigned char* bytes, std::size_t size, Palette* palette);

ReadError readLmp(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeLmp(const Palette& palette, ByteBuffer* bytes);

ReadError readWad(const unsigned char* bytes, std::size_t size, Palette* palette);
ReadError readWadStream(const ByteSource& source, Palette* palette);

// The designer's palettes.

ReadError readAcb(const unsigned char* bytes, std::size_t size, Palette* palette);

ReadError readSoc(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeSoc(const Palette& palette, ByteBuffer* bytes);

ReadError readScribus(const unsigned char* bytes, std::size_t size, Palette* palette);
std::size_t writeScribus(const Palette& palette, ByteBuffer* bytes);

std::size_t writeCss(const Palette& palette, ByteBuffer* bytes);

}  // namespace kolorvane::formats
