// The picture files compiled into the program (made by embed_pictures.cmake).
#pragma once

#include <cstddef>

namespace quorvex::windows {

struct PictureFile {
    const char* name;  // "generate"
    double ratio;      // device pixels a logical one that the file is drawn for
    const unsigned char* data;
    std::size_t size;
};

extern const PictureFile kPictureFiles[];
extern const std::size_t kPictureFileCount;

}  // namespace quorvex::windows
