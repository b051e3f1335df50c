#include "media/writer/archive_writer.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "media/crc32.h"
#include "media/rar_format.h"

namespace media::writer {

using namespace media::rar;

namespace {

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// Header CRC: the low 16 bits of the CRC-32 of the header after its CRC field.
void SealHeader(std::vector<std::uint8_t>& out, std::size_t start) {
    const std::uint32_t crc = FileCrc32(out.data() + start + 2, out.size() - start - 2) & 0xFFFF;
    out[start] = static_cast<std::uint8_t>(crc);
    out[start + 1] = static_cast<std::uint8_t>(crc >> 8);
}

std::string ArchiveName(std::string_view name) {
    std::string s(name);
    std::replace(s.begin(), s.end(), '/', '\\');
    while (!s.empty() && s.back() == '\\') s.pop_back();
    if (s.empty()) throw std::invalid_argument("empty entry name");
    if (s.size() > kMaxNameSize) throw std::invalid_argument("entry name longer than 259 bytes: " + s);
    return s;
}

}  // namespace

bool ProbeSaysCompress(std::span<const std::uint8_t> data, const CompressorOptions& options) {
    if (data.size() <= kProbeWholeSize) return true;
    CompressorOptions fast = options;
    fast.chain_depth = 8;
    fast.nice_length = 32;
    Compressor probe(fast);
    std::size_t in = 0, out = 0;
    const std::size_t stride = (data.size() - kProbeSampleSize) / (kProbeSamples - 1);
    for (std::size_t i = 0; i < kProbeSamples; ++i) {
        const auto sample = data.subspan(i * stride, kProbeSampleSize);
        in += sample.size();
        out += probe.CompressEntry(sample, false).size();
    }
    return static_cast<double>(out) < static_cast<double>(in) * (1.0 - kProbeMinSaving);
}

ArchiveWriter::ArchiveWriter(ArchiveOptions options) : options_(options), compressor_(options.compressor) {
    out_.assign(kMarker.begin(), kMarker.end());
    const std::size_t start = out_.size();
    Put16(out_, 0);
    out_.push_back(kHeadMain);
    Put16(out_, options_.solid && !options_.store ? kMainSolid : 0);
    Put16(out_, kMainHeaderSize);
    Put16(out_, 0);
    Put32(out_, 0);
    SealHeader(out_, start);
}

void ArchiveWriter::AddBlock(std::string_view name, std::uint16_t flags, std::uint32_t unp_size, std::uint32_t crc,
                             std::uint8_t method, std::uint32_t attr, std::span<const std::uint8_t> packed) {
    if (packed.size() > 0xFFFFFFFFu) throw std::invalid_argument("packed data of 4 GiB or more");
    const std::size_t start = out_.size();
    Put16(out_, 0);
    out_.push_back(kHeadFile);
    Put16(out_, flags);
    Put16(out_, static_cast<std::uint32_t>(kFileHeaderSize + name.size()));
    Put32(out_, static_cast<std::uint32_t>(packed.size()));
    Put32(out_, unp_size);
    out_.push_back(kHostWin32);
    Put32(out_, crc);
    Put32(out_, kFixedDosTime);
    out_.push_back(kUnpVer);
    out_.push_back(method);
    Put16(out_, static_cast<std::uint32_t>(name.size()));
    Put32(out_, attr);
    out_.insert(out_.end(), name.begin(), name.end());
    SealHeader(out_, start);
    out_.insert(out_.end(), packed.begin(), packed.end());
    ++entries_;
}

// Inside a solid stream every later entry carries the solid flag, stored ones too: other readers
// take an entry without it as the start of a new stream and lose the state of the one before.
std::uint16_t ArchiveWriter::SolidFlag() const {
    return options_.solid && !options_.store && compressed_before_ ? kFileSolid : 0;
}

void ArchiveWriter::AddDirectory(std::string_view name) {
    AddBlock(ArchiveName(name), kBlockHasData | kFileDirectory | SolidFlag(), 0, 0, kMethodStore, kAttrDirectory,
             {});
}

void ArchiveWriter::AddFile(std::string_view name, std::span<const std::uint8_t> data) {
    const std::string stored = ArchiveName(name);
    if (data.size() >= 0xFFFFFFFFu) throw std::invalid_argument("file of 4 GiB or more: " + stored);
    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint32_t crc = FileCrc32(data.data(), data.size());
    // Empty files are always stored: a compressed entry of no bytes would make a decoder read a
    // table set from nothing, which in a solid archive would spoil the entries after it.
    if (options_.store || data.empty()) {
        AddBlock(stored, kBlockHasData | kFileDict1M | SolidFlag(), size, crc, kMethodStore, kAttrArchive, data);
        return;
    }
    const bool solid = SolidFlag() != 0;
    const bool may_store = options_.store_incompressible && !options_.solid;
    if (may_store && !ProbeSaysCompress(data, options_.compressor)) {
        ++stored_by_choice_;
        AddBlock(stored, kBlockHasData | kFileDict1M, size, crc, kMethodStore, kAttrArchive, data);
        return;
    }
    const std::vector<std::uint8_t> packed = compressor_.CompressEntry(data, solid);
    if (may_store && packed.size() >= data.size()) {
        ++stored_by_choice_;
        AddBlock(stored, kBlockHasData | kFileDict1M, size, crc, kMethodStore, kAttrArchive, data);
        return;
    }
    compressed_before_ = true;
    AddBlock(stored, kBlockHasData | kFileDict1M | (solid ? kFileSolid : 0), size, crc, kMethodNormal,
             kAttrArchive, packed);
}

std::vector<std::uint8_t> ArchiveWriter::Finish() {
    const std::size_t start = out_.size();
    Put16(out_, 0);
    out_.push_back(kHeadEnd);
    Put16(out_, kBlockSkipIfUnknown);
    Put16(out_, kMinBlockSize);
    SealHeader(out_, start);
    return std::move(out_);
}

std::vector<std::uint8_t> PackDirectory(const std::filesystem::path& dir, const ArchiveOptions& options) {
    namespace fs = std::filesystem;
    struct Item {
        std::string name;  // relative, '\' separators
        fs::path path;
        bool directory;
    };
    std::vector<Item> items;
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) throw std::runtime_error(dir.string() + " is not a folder");
    if (fs::is_directory(dir, ec)) {
        for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            const fs::path rel = it->path().lexically_relative(dir);
            std::string name;
            for (const auto& part : rel) {
                if (!name.empty()) name += '\\';
                name += part.string();
            }
            const bool is_dir = it->is_directory(ec);
            if (!is_dir && !it->is_regular_file(ec)) continue;
            items.push_back({name, it->path(), is_dir});
        }
        if (ec) throw std::runtime_error("cannot list " + dir.string() + ": " + ec.message());
    }
    // Byte order with '\' sorting before every other name byte keeps a directory just ahead of
    // its contents.
    auto key = [](const std::string& s) {
        std::string k = s;
        for (char& c : k)
            if (c == '\\') c = '\x01';
        return k;
    };
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) { return key(a.name) < key(b.name); });

    // In a solid archive, entries without data (directories, empty files) go first, ahead of the
    // compressed stream: other readers fail on data-less entries inside a solid stream.
    if (options.solid && !options.store) {
        std::stable_partition(items.begin(), items.end(), [](const Item& item) {
            std::error_code size_ec;
            return item.directory || fs::file_size(item.path, size_ec) == 0;
        });
    }
    ArchiveWriter writer(options);
    for (const Item& item : items) {
        if (item.directory) {
            writer.AddDirectory(item.name);
            continue;
        }
        std::ifstream in(item.path, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + item.path.string());
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw std::runtime_error("cannot read " + item.path.string());
        writer.AddFile(item.name, bytes);
    }
    return writer.Finish();
}

}  // namespace media::writer
