// The engine's own sources: a status code that code4.h names is written by its name, so that a reader meets
// e4numParms rather than -430 and a search for the name finds every place that raises or tests it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The named error codes of code4.h: value -> name (the first name, where two share a value).
std::map<long, std::string> namedErrors(const std::string& header) {
    std::map<long, std::string> names;
    const std::regex entry(R"(^\s*(e4\w+)\s*=\s*(-\d+)\s*,)");
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, entry))
            names.emplace(std::stol(m[2]), m[1]);
    }
    return names;
}

// The line without its comment and the contents of its string and character literals.
std::string codeOf(const std::string& line) {
    std::string out;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote) {
                quote = 0;
                out += c;
            }
            continue;
        }
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '/')
            break;
        if (c == '"' || c == '\'')
            quote = c;
        out += c;
    }
    return out;
}

// Every place in `text` where a negative number that code4.h names is written as a number.
std::vector<std::string> rawCodes(const std::string& file, const std::string& text,
                                  const std::map<long, std::string>& names) {
    std::vector<std::string> found;
    const std::regex number(R"((^|[^\w\[])(-[1-9]\d{1,3})\b)");
    std::istringstream lines(text);
    int lineNo = 0;
    for (std::string line; std::getline(lines, line);) {
        ++lineNo;
        const std::string code = codeOf(line);
        for (std::sregex_iterator it(code.begin(), code.end(), number), end; it != end; ++it) {
            const auto name = names.find(std::stol((*it)[2]));
            if (name != names.end())
                found.push_back(file + ":" + std::to_string(lineNo) + ": " + (*it)[2].str() + " is " + name->second);
        }
    }
    return found;
}

} // namespace

TEST(Sources, TheCheckFindsANamedCodeWrittenAsANumber) {
    const auto names = namedErrors("enum {\n    e4numParms = -430,\n    e4overflow = -440,\n};\n");
    ASSERT_EQ(names.size(), 2u);
    const std::string text = "        return fail(-430);\n"
                             "    // -440 in a comment\n"
                             "    const char* s = \"-440\";\n"
                             "    x = a[-440] + b-430 - 1 + (-999);\n"
                             "    return p.error(-440, name);\n";
    EXPECT_EQ(rawCodes("f.cpp", text, names),
              (std::vector<std::string>{"f.cpp:1: -430 is e4numParms", "f.cpp:5: -440 is e4overflow"}));
}

TEST(Sources, TheEngineWritesNamedStatusCodesByName) {
    const char* root = std::getenv("VORD_SOURCE_DIR");
    if (!root)
        GTEST_SKIP() << "VORD_SOURCE_DIR is not set (the test runs under ctest)";
    const fs::path dir = fs::path(root) / "xbase";
    const auto names = namedErrors(readText(dir / "code4.h"));
    ASSERT_GT(names.size(), 50u);
    std::vector<std::string> found;
    long files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const fs::path& p = entry.path();
        // code4.h defines the names; code4.cpp's table gives each number, named or not, its text.
        if ((p.extension() != ".cpp" && p.extension() != ".h") || p.stem() == "code4")
            continue;
        ++files;
        for (const std::string& f : rawCodes(p.filename().string(), readText(p), names))
            found.push_back(f);
    }
    EXPECT_GT(files, 30);
    std::string list;
    for (const std::string& f : found)
        list += "\n  " + f;
    EXPECT_TRUE(found.empty()) << found.size() << " named codes written as numbers:" << list;
}
