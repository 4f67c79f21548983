# Writes the file INPUT out as OUTPUT, a C++ source defining
# kolorvane::web::kBuiltInCmykProfile and its size: run by the build as
#   cmake -DINPUT=profile.icc -DOUTPUT=builtin_profile_data.cpp -P embed_profile.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}
    "// Written by the build from the CMYK profile: not to be edited.\n"
    "#include \"builtin_profile.h\"\n\n"
    "namespace kolorvane::web {\n\n"
    "const unsigned char kBuiltInCmykProfile[] = {\n${bytes}};\n"
    "const std::size_t kBuiltInCmykProfileSize = ${size};\n\n"
    "}  // namespace kolorvane::web\n")
