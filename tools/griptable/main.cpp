// griptable GRIPS MESH_DIR OUT: writes the grip table (Orcs.dat) for the orc models and the
// weapon and shield models found in MESH_DIR (see grip_builder.h for the grip file and the formula).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/file_io.h"
#include "tools/griptable/grip_builder.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: griptable GRIPS MESH_DIR OUT\n");
    return 2;
  }
  const std::string specPath = argv[1], meshDir = argv[2], outPath = argv[3];
  std::vector<std::uint8_t> bytes;
  if (!tools::ReadWholeFile(specPath, bytes)) {
    std::fprintf(stderr, "griptable: %s: cannot be read\n", specPath.c_str());
    return 1;
  }
  std::vector<griptable::OrcGrip> spec;
  std::string error;
  if (!griptable::ParseGripSpec(std::string(bytes.begin(), bytes.end()), spec, error)) {
    std::fprintf(stderr, "griptable: %s: %s\n", specPath.c_str(), error.c_str());
    return 1;
  }
  const griptable::ModelLoader load = [&](const std::string& name) -> std::optional<model::emd::ModelFile> {
    std::vector<std::uint8_t> file;
    const std::string path = meshDir + "/" + name + ".EMD";
    if (!tools::ReadWholeFile(path, file)) return std::nullopt;
    model::emd::ModelFile m;
    if (FAILED(model::emd::ReadModel(file, m))) {
      std::fprintf(stderr, "griptable: %s: not a valid model file\n", path.c_str());
      return std::nullopt;
    }
    return m;
  };
  scene::GripTable table;
  std::vector<std::string> warnings;
  if (!griptable::BuildGripTable(spec, load, table, error, warnings)) {
    std::fprintf(stderr, "griptable: %s\n", error.c_str());
    return 1;
  }
  for (const auto& w : warnings) std::fprintf(stderr, "griptable: warning: %s\n", w.c_str());
  const std::vector<std::uint8_t> out = scene::WriteGripTable(table);
  if (!tools::WriteWholeFile(outPath, out)) {
    std::fprintf(stderr, "griptable: %s: cannot be written\n", outPath.c_str());
    return 1;
  }
  std::printf("griptable: %s: %zu bytes\n", outPath.c_str(), out.size());
  return 0;
}
