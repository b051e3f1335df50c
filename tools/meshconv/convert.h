// glTF 2.0 (.gltf with its buffers, or .glb) to the .EMD model and .ESA animation files.
//
// Model space is left-handed, +Y up, row vectors; glTF is right-handed, +Y up, column vectors.
// Every point, direction and pose is mirrored in z on the way in, and triangle index order is
// kept (the mirror turns counter-clockwise front faces into the clockwise ones the renderer
// keeps). See tools/meshconv/README.md for the full mapping.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/emd_format.h"
#include "model/esa_format.h"

namespace meshconv {

struct ConvertOptions {
    std::string animationName;         // empty: the first animation of the file
    std::optional<int> lengthMs;       // overrides the animation's own length
    double scale = 1.0;                // uniform scale of positions, offsets and key positions
    bool wantAnimation = false;        // build the .ESA as well
};

struct ConvertResult {
    model::emd::ModelFile model;                // stored lists only (derived fields left empty)
    std::optional<model::esa::AnimationFile> animation;  // when asked for
    std::vector<std::string> warnings;          // things converted with a loss, one line each
};

// Any input the converter refuses; what() is a one-line message fit for the user.
struct ConvertError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Loads `path` (.glb by its magic, otherwise JSON glTF) and converts it. Throws ConvertError.
ConvertResult ConvertFile(const std::string& path, const ConvertOptions& options);

// The same for a file already in memory; `baseDir` resolves relative buffer uris.
ConvertResult ConvertBytes(const std::vector<unsigned char>& bytes, const std::string& baseDir,
                           const ConvertOptions& options);

}  // namespace meshconv
