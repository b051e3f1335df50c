#include "media/writer/huffman.h"

#include <algorithm>
#include <numeric>
#include <queue>
#include <utility>

namespace media::writer {

std::vector<std::uint8_t> BuildCodeLengths(std::span<const std::uint32_t> freqs, int max_length) {
    const std::size_t n = freqs.size();
    std::vector<std::uint8_t> lengths(n, 0);
    std::vector<std::uint32_t> used;
    for (std::size_t i = 0; i < n; ++i)
        if (freqs[i] != 0) used.push_back(static_cast<std::uint32_t>(i));
    if (used.empty()) return lengths;
    if (used.size() == 1) {
        lengths[used[0]] = 1;
        if (n > 1) lengths[used[0] == 0 ? 1 : 0] = 1;
        return lengths;
    }

    // Plain Huffman first. Nodes are (weight, id); ties break on the id so that the result never
    // depends on the library's heap implementation.
    const std::size_t leaves = used.size();
    std::vector<std::uint32_t> parent(2 * leaves, 0);
    using Node = std::pair<std::uint64_t, std::uint32_t>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
    for (std::size_t i = 0; i < leaves; ++i) heap.push({freqs[used[i]], static_cast<std::uint32_t>(i)});
    std::uint32_t next = static_cast<std::uint32_t>(leaves);
    while (heap.size() > 1) {
        const Node a = heap.top();
        heap.pop();
        const Node b = heap.top();
        heap.pop();
        parent[a.second] = next;
        parent[b.second] = next;
        heap.push({a.first + b.first, next});
        ++next;
    }
    const std::uint32_t root = next - 1;
    std::vector<std::uint32_t> depth(next, 0);
    for (std::uint32_t i = root; i-- > 0;) depth[i] = depth[parent[i]] + 1;

    // Limit the lengths by moving leaves up the tree histogram (keeps the Kraft sum at exactly 1),
    // then hand the lengths out again, shortest to the most frequent symbols.
    std::vector<std::uint32_t> count(std::max<std::size_t>(leaves + 1, max_length + 2), 0);
    std::uint32_t deepest = 0;
    for (std::size_t i = 0; i < leaves; ++i) {
        ++count[depth[i]];
        deepest = std::max(deepest, depth[i]);
    }
    for (std::uint32_t i = deepest; i > static_cast<std::uint32_t>(max_length); --i) {
        while (count[i] > 0) {
            std::uint32_t j = i - 2;
            while (count[j] == 0) --j;
            count[i] -= 2;
            count[i - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    std::vector<std::uint32_t> order(used);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return freqs[a] > freqs[b]; });
    std::size_t k = 0;
    for (int len = 1; len <= max_length; ++len)
        for (std::uint32_t c = 0; c < count[len]; ++c) lengths[order[k++]] = static_cast<std::uint8_t>(len);
    return lengths;
}

std::vector<std::uint16_t> CanonicalCodes(std::span<const std::uint8_t> lengths) {
    std::uint32_t count[17] = {};
    for (std::uint8_t l : lengths) ++count[l];
    count[0] = 0;
    std::uint32_t next[17] = {};
    std::uint32_t code = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0) codes[i] = static_cast<std::uint16_t>(next[lengths[i]]++);
    return codes;
}

std::uint64_t CodedBits(std::span<const std::uint32_t> freqs, std::span<const std::uint8_t> lengths) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < freqs.size(); ++i)
        if (freqs[i] != 0) bits += std::uint64_t(freqs[i]) * (lengths[i] != 0 ? lengths[i] : kNoCode);
    return bits;
}

}  // namespace media::writer
