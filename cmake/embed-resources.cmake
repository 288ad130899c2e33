# cmake -DRES=file.res -DOUT=file.cpp -P embed-resources.cmake: writes the .res file's bytes
# as a C++ source whose QvlmrResources hands them out, for the host's resource loader.
file(READ ${RES} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUT} "// Written from ${RES} by cmake/embed-resources.cmake.
#include <stddef.h>

namespace {
const unsigned char kResources[] = {
    ${bytes}
};
}  // namespace

extern \"C\" const unsigned char *QvlmrResources(size_t *size) {
    *size = sizeof kResources;
    return kResources;
}
")
