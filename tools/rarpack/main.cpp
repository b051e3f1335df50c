// rarpack: the media archive tool.
//
//   rarpack create [--store] [--solid] ARCHIVE DIR   pack the tree under DIR
//                  (--no-audio: never use the audio mode; --compress-all: compress files that
//                   would not shrink too; both for comparisons)
//   rarpack list ARCHIVE                             one line per entry, each proven by extraction
//   rarpack extract ARCHIVE NAME [PASSWORD]          the entry's bytes on standard output
//
// Listing and extraction go through the program's own reader, so what this tool shows is what the
// saver will see.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "media/archive.h"
#include "media/rar_format.h"
#include "media/writer/archive_writer.h"
#include "tools/common/file_io.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: rarpack create [--store] [--solid] ARCHIVE DIR\n"
                 "       rarpack list ARCHIVE\n"
                 "       rarpack extract ARCHIVE NAME [PASSWORD]\n");
    return 2;
}

int Create(const std::vector<std::string>& args) {
    media::writer::ArchiveOptions options;
    std::vector<std::string> paths;
    for (const std::string& a : args) {
        if (a == "--store") options.store = true;
        else if (a == "--solid") options.solid = true;
        else if (a == "--no-audio") options.compressor.audio = false;  // for comparisons only
        else if (a == "--compress-all") options.store_incompressible = false;  // for comparisons only
        else if (a.rfind("--", 0) == 0) return Usage();
        else paths.push_back(a);
    }
    if (paths.size() != 2) return Usage();
    const std::vector<std::uint8_t> archive = media::writer::PackDirectory(paths[1], options);
    // Written next to the target and renamed, so a failed run never leaves half an archive.
    if (!tools::WriteWholeFileAtomically(paths[0], archive)) {
        std::fprintf(stderr, "rarpack: cannot write %s\n", paths[0].c_str());
        return 1;
    }
    return 0;
}

int List(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!tools::ReadWholeFile(path, bytes)) {
        std::fprintf(stderr, "rarpack: cannot read %s\n", path.c_str());
        return 1;
    }
    media::ResourceBlob blob = media::BlobOverBytes(bytes.data(), bytes.size());
    int failed = 0;
    for (const media::ArchiveEntry& e : media::MediaArchive::ListEntries(blob)) {
        const bool dir = (e.flags & media::rar::kFileDictMask) == media::rar::kFileDirectory;
        media::MemFile file;
        const bool ok = media::ExtractFile(blob, e.name, file);
        media::FreeMemFile(file);
        if (!ok) ++failed;
        std::printf("%-4s %10u %10u  %02X %08X  %s%s\n", dir ? "dir" : "file", e.unpSize, e.packSize, e.method,
                    e.fileCrc, e.name.c_str(), ok ? "" : "  [cannot extract]");
    }
    return failed == 0 ? 0 : 1;
}

int Extract(const std::string& path, const std::string& name, const std::string& password) {
    std::vector<std::uint8_t> bytes;
    if (!tools::ReadWholeFile(path, bytes)) {
        std::fprintf(stderr, "rarpack: cannot read %s\n", path.c_str());
        return 1;
    }
    media::ResourceBlob blob = media::BlobOverBytes(bytes.data(), bytes.size());
    media::MemFile file;
    if (!media::ExtractFile(blob, name, file, password)) {
        std::fprintf(stderr, "rarpack: %s: no such entry, or it does not extract\n", name.c_str());
        return 1;
    }
    const bool ok = std::fwrite(file.data, 1, file.size, stdout) == file.size && std::fflush(stdout) == 0;
    media::FreeMemFile(file);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string cmd = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (cmd == "create") return Create(args);
        if (cmd == "list" && args.size() == 1) return List(args[0]);
        if (cmd == "extract" && (args.size() == 2 || args.size() == 3))
            return Extract(args[0], args[1], args.size() == 3 ? args[2] : std::string());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rarpack: %s\n", e.what());
        return 1;
    }
    return Usage();
}
