# Writes the pictures of resources/ as C++ data: the picture at ratio 1
# (name.gif) and the renders for denser screens (name@1.5x.png ...), sorted
# by name and ratio so that the same files give the same source.
# cmake -DSOURCE_DIR=resources -DOUTPUT=pictures_data.cpp -P embed_pictures.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB files ${SOURCE_DIR}/*.gif ${SOURCE_DIR}/*@*x.png)
list(SORT files)
set(arrays "")
set(entries "")
set(index 0)
foreach(file IN LISTS files)
    get_filename_component(file_name ${file} NAME)
    if(file_name MATCHES "^([a-z_]+)@([0-9.]+)x\\.png$")
        set(name ${CMAKE_MATCH_1})
        set(ratio ${CMAKE_MATCH_2})
    elseif(file_name MATCHES "^([a-z_]+)\\.gif$")
        set(name ${CMAKE_MATCH_1})
        set(ratio 1)
    else()
        message(FATAL_ERROR "${file_name}: not a picture name")
    endif()
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    "
           bytes "${bytes}")
    string(APPEND arrays "// ${file_name}\nconst unsigned char kData${index}[] = {\n    ${bytes}\n};\n")
    string(APPEND entries "    {\"${name}\", ${ratio}, kData${index}, sizeof kData${index}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT} "// Made by embed_pictures.cmake from the pictures of resources/.
#include \"windows/pictures_data.h\"

namespace quorvex::windows {

namespace {

${arrays}
}  // namespace

const PictureFile kPictureFiles[] = {
${entries}};
const std::size_t kPictureFileCount = sizeof kPictureFiles / sizeof kPictureFiles[0];

}  // namespace quorvex::windows
")
