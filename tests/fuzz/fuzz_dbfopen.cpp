// Opens an untrusted data file (with a memo file made from the same bytes) and reads every record and field.
#include "xbase/d4all.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/fuzz_dbf_XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    const std::string dbf = dir + "/F.DBF", dbt = dir + "/F.DBT";
    for (const std::string& p : {dbf, dbt}) {
        FILE* f = std::fopen(p.c_str(), "wb");
        if (!f)
            return 0;
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    CODE4 cb;
    code4init(&cb);
    cb.autoOpen = 0;
    cb.logOpen = 0;
    cb.goErrors = 0;
    if (DATA4* d = d4open(&cb, dbf.c_str())) {
        const long count = d4recCount(d);
        for (long n = 1; n <= count && n <= 64; n++) {
            if (d4go(d, n) != 0)
                break;
            for (int j = 1; j <= d4numFields(d); j++) {
                FIELD4* f = d4fieldJ(d, j);
                f4str(f);
                if (f4type(f) == 'M' || f4type(f) == 'G' || f4type(f) == 'B')
                    f4memoStr(f);
                else if (f4type(f) == 'N' || f4type(f) == 'F')
                    f4double(f);
                else if (f4type(f) == 'D')
                    f4int(f);
                error4set(&cb, 0);
            }
        }
        error4set(&cb, 0);
        d4close(d);
    }
    code4initUndo(&cb);
    return 0;
}
