// The glTF loader, configured the same way wherever it is included: images are never decoded or
// read from disk, since the converter only needs their file names.
#pragma once

#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
