// Feeds arbitrary bytes to the table engine as an NTX index file of a small table, then seeks and skips in it.
// Whatever the bytes, the engine must answer with its codes (-310 for a damaged file) without crashing, hanging,
// or reading or writing outside its buffers.
#include "xbase/d4all.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

struct Workspace {
    CODE4 cb;
    DATA4 *data = nullptr;
    std::string ntx;

    Workspace() {
        char tmpl[] = "/tmp/fuzz_ntx_XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        const std::string dir = tmpl;
        ntx = dir + "/FUZZ.NTX";
        code4init(&cb);
        cb.autoOpen = 0;
        cb.logOpen = 0;
        cb.shareMode = 1; // exclusive: an inconsistent page is damage at once, never a wait for another writer
        cb.lockTries = 0;
        static const FIELD4INFO fields[] = {{"NAME", 'C', 10, 0}, {"NUM", 'N', 6, 2}, {"WHEN", 'D', 8, 0},
                                            {nullptr, 0, 0, 0}};
        data = d4create(&cb, (dir + "/FUZZ").c_str(), fields);
        if (!data)
            std::abort();
        for (int i = 0; i < 40; ++i) {
            d4appendStart(data);
            f4assign(d4field(data, "NAME"), ("K" + std::to_string(i * 37 % 100)).c_str());
            f4assignDouble(d4field(data, "NUM"), i - 20.5);
            f4assign(d4field(data, "WHEN"), "20240101");
            d4append(data);
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    static Workspace ws;
    FILE *f = std::fopen(ws.ntx.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(bytes, 1, size, f);
    std::fclose(f);
    error4set(&ws.cb, 0);
    INDEX4 *index = i4open(ws.data, ws.ntx.c_str());
    if (index) {
        d4tagSelect(ws.data, i4tag(index));
        for (const char *key : {"K3", "K99", "", "\xff\xff"}) {
            if (d4seek(ws.data, key) < 0)
                break;
            if (d4skip(ws.data, 3) < 0 || d4skip(ws.data, -5) < 0)
                break;
        }
        error4set(&ws.cb, 0);
        d4top(ws.data);
        for (int i = 0; i < 60 && !d4eof(ws.data); ++i)
            if (d4skip(ws.data, 1) < 0)
                break;
        error4set(&ws.cb, 0);
        d4tagSelect(ws.data, nullptr);
        i4close(index);
    }
    error4set(&ws.cb, 0);
    return 0;
}
