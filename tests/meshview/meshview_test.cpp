// meshview: its arguments and size table, its PNG writer, and a headless run on a small model
// written here with the model format's writer.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/emd_format.h"
#include "tools/meshview/meshview.h"

namespace {

namespace fs = std::filesystem;
namespace emd = model::emd;

// Reads a PNG back as RGB; false when it is not one.
bool ReadPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
}

fs::path TempDir(const char* name) {
    fs::path dir = fs::temp_directory_path() / (std::string("meshview_test_") + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// A unit cube of 12 triangles, one material without textures.
std::vector<std::uint8_t> CubeModel() {
    emd::ModelFile file;
    emd::Material material;
    for (int i = 0; i < 3; ++i) {
        material.ambient[i] = 0.8f;
        material.diffuse[i] = 0.8f;
    }
    material.wrapU = material.wrapV = 1;
    file.materials.push_back(material);
    emd::Mesh mesh;
    mesh.name = "cube";
    for (int i = 0; i < 8; ++i) {
        emd::SourceVertex v;
        v.position[0] = i & 1 ? 1.0f : -1.0f;
        v.position[1] = i & 2 ? 1.0f : -1.0f;
        v.position[2] = i & 4 ? 1.0f : -1.0f;
        emd::NormalEntry n;
        for (int k = 0; k < 3; ++k) n.normal[k] = v.position[k] * 0.57735f;
        v.normals.push_back(n);
        v.channels.push_back({emd::TexCoord{0.0f, 0.0f}});
        mesh.vertices.push_back(v);
    }
    emd::FaceGroup group;
    group.material = 0;
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        for (int corner : {f[0], f[1], f[2], f[0], f[2], f[3]}) group.vertexIndices.push_back(corner);
    }
    group.normalIndices.assign(group.vertexIndices.size(), 0);
    group.uvIndices.push_back(std::vector<std::int32_t>(group.vertexIndices.size(), 0));
    mesh.groups.push_back(group);
    file.meshes.push_back(mesh);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(emd::WriteModel(file, bytes), S_OK);
    return bytes;
}

TEST(MeshviewArguments, ParsesEveryOptionAndRefusesBadValues) {
    meshview::Options o;
    std::string error;
    ASSERT_TRUE(meshview::ParseArguments({"--out", "d", "--views", "6", "--size", "320x200", "--times", "0",
                                          "--gear", "13,11", "Meshes/Orc_2.EMD", "x.EMD"},
                                         o, error))
        << error;
    EXPECT_EQ(o.outDir, "d");
    EXPECT_EQ(o.views, 6);
    EXPECT_EQ(o.times, 0);
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.weapon, 13);
    EXPECT_EQ(o.shield, 11);
    EXPECT_EQ(o.names, (std::vector<std::string>{"Meshes/Orc_2.EMD", "x.EMD"}));

    const std::vector<std::vector<std::string>> bad = {
        {"--out", "d"},                                // no model
        {"Meshes/Orc_0.EMD"},                          // no output folder
        {"--out", "d", "--views", "0", "a.EMD"},       // no views
        {"--out", "d", "--size", "320", "a.EMD"},      // not WxH
        {"--out", "d", "--gear", "14,0", "a.EMD"},     // weapons are 0..13
        {"--out", "d", "--gear", "0,12", "a.EMD"},     // shields are 0..11
        {"--out", "d", "--frobnicate", "a.EMD"},
        {"--out"},
    };
    for (const auto& args : bad) {
        meshview::Options x;
        EXPECT_FALSE(meshview::ParseArguments(args, x, error)) << args.size() << " " << args.back();
    }
}

TEST(MeshviewArguments, StemsAndSceneHeights) {
    EXPECT_EQ(meshview::Stem("Meshes/Orc_0.EMD"), "Orc_0");
    EXPECT_FLOAT_EQ(meshview::FitHeightFor("Orc_7"), 45.3f);
    EXPECT_FLOAT_EQ(meshview::FitHeightFor("Weapon_0"), 12.5f);
    EXPECT_FLOAT_EQ(meshview::FitHeightFor("Weapon_13"), 40.5f);
    EXPECT_FLOAT_EQ(meshview::FitHeightFor("Shield_11"), 22.5f);
    EXPECT_EQ(meshview::FitHeightFor("Weapon_14"), 0.0f);
    EXPECT_EQ(meshview::FitHeightFor("Orc_flag"), 0.0f);
    EXPECT_EQ(meshview::FitHeightFor("Rocks"), 0.0f);
}

TEST(MeshviewRun, RendersASmallModelIntoNonBlankPicturesOfTheAskedSize) {
    const fs::path dir = TempDir("run");
    const fs::path model = dir / "cube.EMD";
    {
        const std::vector<std::uint8_t> bytes = CubeModel();
        std::ofstream(model, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    }
    const std::string command = std::string(MESHVIEW_BINARY) + " --out " + (dir / "out").string() +
                                " --views 3 --size 96x64 " + model.string() + " > " + (dir / "log").string() + " 2>&1";
    const int rc = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    if (WEXITSTATUS(rc) == 77) GTEST_SKIP() << "no headless OpenGL context";
    ASSERT_EQ(WEXITSTATUS(rc), 0);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        int w = 0, h = 0;
        std::vector<unsigned char> rgb;
        ASSERT_TRUE(ReadPng((dir / "out" / ("cube_v" + std::to_string(k) + ".png")).string(), w, h, rgb));
        EXPECT_EQ(w, 96);
        EXPECT_EQ(h, 64);
        // The background fills the corners; the cube, centred, must change a good share of pixels.
        const unsigned char* corner = rgb.data();
        std::size_t differ = 0;
        for (std::size_t p = 0; p < rgb.size(); p += 3)
            differ += rgb[p] != corner[0] || rgb[p + 1] != corner[1] || rgb[p + 2] != corner[2];
        EXPECT_GT(differ, rgb.size() / 3 / 10);
        EXPECT_NE(rgb[(32 * 96 + 48) * 3], corner[0]) << "the centre shows the model";
    }
    EXPECT_FALSE(fs::exists(dir / "out" / "cube_t0.png")) << "a model without animation has no loop pictures";
    // A name that is neither in the archive nor a file fails the run.
    const std::string missing = std::string(MESHVIEW_BINARY) + " --out " + (dir / "out").string() +
                                " Meshes/NoSuchModel.EMD > /dev/null 2>&1";
    const int bad = std::system(missing.c_str());
    EXPECT_EQ(WEXITSTATUS(bad), 1);
    fs::remove_all(dir);
}

}  // namespace
