// Reads an NTX file straight from its bytes (not through the engine) and checks the tree: key counts and fill,
// slot offsets, key order within and across pages, every leaf at one depth.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xbt {

struct NtxWalk {
    std::vector<std::pair<std::string, long>> entries; // in tree order
    int depth = 0;
    long pages = 0;
    std::string error; // empty when every check passed
};

inline NtxWalk walkNtx(const std::string &bytes) {
    NtxWalk w;
    auto u16 = [&](size_t o) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[o]) |
                                                            (static_cast<unsigned char>(bytes[o + 1]) << 8)); };
    auto u32 = [&](size_t o) {
        return static_cast<unsigned long>(u16(o)) | (static_cast<unsigned long>(u16(o + 2)) << 16);
    };
    if (bytes.size() < 2048) {
        w.error = "file too short";
        return w;
    }
    const unsigned root = static_cast<unsigned>(u32(4)), groupLen = u16(12), keyLen = u16(14), max = u16(18),
                   half = u16(20);
    int leafDepth = -1;
    // Recursive walk with an explicit depth limit.
    struct Walker {
        NtxWalk &w;
        const std::string &bytes;
        unsigned root, groupLen, keyLen, max, half;
        int &leafDepth;
        decltype(u16) &g16;
        decltype(u32) &g32;
        void page(unsigned long off, int level) {
            if (!w.error.empty())
                return;
            if (level > 40 || off % 512 || off + 1024 > bytes.size() || off < 1024) {
                w.error = "bad page offset " + std::to_string(off);
                return;
            }
            ++w.pages;
            const unsigned n = g16(off);
            if (n > max)
                w.error = "key count past max at " + std::to_string(off);
            if (off != root && n < half)
                w.error = "page below half fill at " + std::to_string(off) + " n=" + std::to_string(n);
            std::vector<unsigned> slot(max + 1);
            for (unsigned i = 0; i <= max; ++i) {
                slot[i] = g16(off + 2 + 2 * i);
                if (slot[i] < 2 + 2 * (max + 1) || slot[i] + groupLen > 1024)
                    w.error = "slot offset out of the page at " + std::to_string(off);
            }
            if (!w.error.empty())
                return;
            const bool leaf = g32(off + slot[0]) == 0;
            for (unsigned i = 0; i <= n; ++i) {
                const unsigned long child = g32(off + slot[i]);
                if ((child == 0) != leaf)
                    w.error = "mixed leaf and branch entries at " + std::to_string(off);
                if (!leaf)
                    page(child, level + 1);
                if (i < n)
                    w.entries.emplace_back(bytes.substr(off + slot[i] + 8, keyLen),
                                           static_cast<long>(g32(off + slot[i] + 4)));
            }
            if (leaf) {
                if (leafDepth < 0)
                    leafDepth = level;
                else if (leafDepth != level)
                    w.error = "leaves at different depths";
            }
        }
    } walker{w, bytes, root, groupLen, keyLen, max, half, leafDepth, u16, u32};
    walker.page(root, 1);
    w.depth = leafDepth;
    for (size_t i = 1; i < w.entries.size() && w.error.empty(); ++i)
        if (w.entries[i - 1].first > w.entries[i].first)
            w.error = "keys out of order at entry " + std::to_string(i);
    return w;
}

} // namespace xbt
