// meshview: renders models of the media archive (or model files) headless into PNG pictures, a
// turntable of views and, for animated models, poses through the loop, drawn the way the program
// draws them (fixed-function moonlight, both texture passes of the model renderer; level models
// with their light maps).
#pragma once

#include <string>
#include <vector>

namespace meshview {

struct Options {
    std::string outDir;
    int views = 4;
    int times = 4;
    int width = 512;
    int height = 512;
    int weapon = -1;  // --gear W,S (orc models only)
    int shield = -1;
    bool lightmap = false;  // draw every model as a level model
    bool window = false;  // an SDL window orbiting with the pointer instead of pictures
    std::vector<std::string> names;
};

// Parses the command line (argv[0] excluded). False with `error` set on a bad argument.
bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

// The picture file stem of a model name: its file name without directory and extension.
std::string Stem(const std::string& name);

// FitHeight used for a model of that stem: orcs, the weapon and shield tables; 0 = native size.
float FitHeightFor(const std::string& stem);

// Writes 8-bit RGB rows (width * 3 bytes each, top row first) as a PNG file.
bool WritePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb,
              std::string& error);

// Renders everything the options ask for; returns the process exit status (0 all written,
// 1 a model failed, 2 bad setup, 77 no headless OpenGL context).
int Run(const Options& options);

}  // namespace meshview
