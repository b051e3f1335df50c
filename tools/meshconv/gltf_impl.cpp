// The one translation unit that compiles the glTF loader's implementation.
#define TINYGLTF_IMPLEMENTATION
#include "tools/meshconv/gltf_loader.h"
