// bin/meshview --out DIR [--views N] [--size WxH] [--times N] [--gear WEAPON,SHIELD] [--lightmap]
//              NAME...
#include <cstdio>
#include <string>
#include <vector>

#include "tools/meshview/meshview.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    meshview::Options options;
    std::string error;
    if (!meshview::ParseArguments(args, options, error)) {
        std::fprintf(stderr,
                     "meshview: %s\nusage: meshview --out DIR [--views N] [--size WxH] [--times N] "
                     "[--gear WEAPON,SHIELD] [--lightmap] NAME...\n"
                     "  NAME: an archive path (Meshes/Orc_0.EMD) or an .EMD file\n",
                     error.c_str());
        return 2;
    }
    return meshview::Run(options);
}
