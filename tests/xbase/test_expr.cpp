// dBASE expressions: types, lengths and values of every operator and function, key text, and parse errors.
#include "XbaseTestUtil.h"

#include "xbase/e4functions.h"

#include <cmath>

using namespace xbt;

namespace {

const FIELD4INFO exprFields[] = {{"NAME", 'C', 10, 0},  {"CITY", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2},
                                 {"QTY", 'N', 5, 0},    {"BORN", 'D', 8, 0},  {"OK", 'L', 1, 0},
                                 {"NODATE", 'D', 8, 0}, {nullptr, 0, 0, 0}};

class ExprTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        d = d4create(&cb, "items", exprFields);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d4appendStart(d), 0);
        f4assign(d4field(d, "NAME"), "abc");
        f4assign(d4field(d, "CITY"), "Bern");
        f4assignDouble(d4field(d, "AMOUNT"), -1.5);
        f4assignLong(d4field(d, "QTY"), 7);
        f4assign(d4field(d, "BORN"), "20000229");
        f4assign(d4field(d, "OK"), "T");
        ASSERT_EQ(d4append(d), 0);
        ASSERT_EQ(d4go(d, 1), 0);
    }
    DATA4 *d = nullptr;
};

struct ValueCase {
    const char *expr;
    char type;
    int len;
    std::string bytes; // character results
    double number;     // n, d and L results (L: 1 or 0)
};

double day(const char *ccyymmdd) { return static_cast<double>(date4toJulian(ccyymmdd)); }

} // namespace

TEST_F(ExprTest, EveryOperatorAndFunctionGivesItsTypeLengthAndValue) {
    using namespace std::string_literals;
    char numKey[9] = "   -1.50";
    c4numTextToKey(numKey, 8);
    const ValueCase cases[] = {
        {"NAME", 'C', 10, "abc       ", 0},
        {"name", 'C', 10, "abc       ", 0},
        {"UPPER(NAME)", 'C', 10, "ABC       ", 0},
        {"NAME + CITY", 'C', 20, "abc       Bern      ", 0},
        {"NAME - CITY", 'C', 20, "abcBern             ", 0},
        {"'abcd ' + 'xy'", 'C', 7, "abcd xy", 0},
        {"'abcd ' - 'xy'", 'C', 7, "abcdxy ", 0},
        {"TRIM(NAME) + CITY", 'C', 20, "abcBern      \0\0\0\0\0\0\0"s, 0},
        {"TRIM('AB  ')", 'C', 4, "AB\0\0"s, 0},
        {"LTRIM('  AB')", 'C', 4, "AB\0\0"s, 0},
        {"ALLTRIM(' A ')", 'C', 3, "A\0\0"s, 0},
        {"SUBSTR(NAME,2,2)", 'C', 2, "bc", 0},
        {"SUBSTR(NAME,2)", 'C', 9, "bc       ", 0}, // two arguments: to the end
        {"SUBSTR(NAME,20,3)", 'C', 0, "", 0},
        {"LEFT(CITY,2)", 'C', 2, "Be", 0},
        {"RIGHT(CITY,3)", 'C', 3, "   ", 0},
        {"RIGHT(UPPER(CITY), 12)", 'C', 10, "BERN      ", 0},
        {"STR(AMOUNT,6,2)", 'C', 6, " -1.50", 0},
        {"STR(QTY)", 'C', 10, "         7", 0},
        {"STR(-1.5,5,1)", 'C', 5, " -1.5", 0},
        {"STR(123456,5)", 'C', 5, "*****", 0},
        {"STR(3.14159,5,4)", 'C', 5, "3.142", 0}, // decimals cut to length - 2
        {"STR(0.5,4,2)", 'C', 4, "0.50", 0},
        {"DTOS(BORN)", 'C', 8, "20000229", 0},
        {"DTOS(BORN+1)", 'C', 8, "20000301", 0},
        {"DTOS(1+BORN)", 'C', 8, "20000301", 0},
        {"DTOS(BORN-60)", 'C', 8, "19991231", 0},
        {"DTOC(BORN)", 'C', 8, "02/29/00", 0},
        {"DTOC(BORN,1)", 'C', 8, "20000229", 0},
        {"DTOS(NODATE)", 'C', 8, "        ", 0},
        {"DTOS(NODATE+5)", 'C', 8, "        ", 0}, // a blank date stays blank
        {"BORN - STOD('20000101')", 'n', 8, "", 59},
        {"NODATE - BORN", 'n', 8, "", 0},
        {"STOD('20240115')", 'd', 8, "", day("20240115")},
        {"CTOD('12/08/26')", 'd', 8, "", day("19261208")},
        {"DAY(BORN)", 'n', 8, "", 29},
        {"MONTH(BORN)", 'n', 8, "", 2},
        {"YEAR(BORN)", 'n', 8, "", 2000},
        {"YEAR(BORN+366)", 'n', 8, "", 2001},
        {"IIF(OK, 'yes', 'no ')", 'C', 3, "yes", 0},
        {"IIF(QTY > 5, 1, 2)", 'n', 8, "", 1},
        {"IIF(.F., BORN, BORN+1)", 'd', 8, "", day("20000301")},
        {"7/0", 'n', 8, "", 0},
        {"2^3", 'n', 8, "", 8},
        {"2**3", 'n', 8, "", 8},
        {"1+2*3", 'n', 8, "", 7},
        {"(1+2)*3", 'n', 8, "", 9},
        {"10-4-3", 'n', 8, "", 3},
        {"QTY*2", 'n', 8, "", 14},
        {"AMOUNT-1", 'n', 8, "", -2.5},
        {"-2+QTY", 'n', 8, "", 5},
        {"VAL('12.5')", 'n', 8, "", 12.5},
        {"RECNO()", 'n', 8, "", 1},
        {"RECCOUNT()", 'n', 8, "", 1},
        {"NAME = 'ab'", 'L', 4, "", 1},   // compared over the shorter length
        {"'ab' = NAME", 'L', 4, "", 1},
        {"NAME > 'ab'", 'L', 4, "", 1},   // equal over 2: the longer left side is greater
        {"'ab' < NAME", 'L', 4, "", 1},
        {"'ab' > NAME", 'L', 4, "", 0},
        {"NAME >= 'abd'", 'L', 4, "", 0},
        {"NAME <= 'abd'", 'L', 4, "", 1},
        {"NAME <> 'abc'", 'L', 4, "", 0},
        {"NAME # 'abd'", 'L', 4, "", 1},
        {"QTY >= 7", 'L', 4, "", 1},
        {"QTY => 8", 'L', 4, "", 0},
        {"AMOUNT < 0", 'L', 4, "", 1},
        {"AMOUNT =< -1.5", 'L', 4, "", 1},
        {"BORN > STOD('20000228')", 'L', 4, "", 1},
        {"OK = .T.", 'L', 4, "", 1},
        {"'c' $ NAME", 'L', 4, "", 1},
        {"'x' $ NAME", 'L', 4, "", 0},
        {"OK .AND. QTY > 5 .AND. .NOT. NAME = 'x'", 'L', 4, "", 1},
        {".NOT. QTY = 7 .OR. .F.", 'L', 4, "", 0},
        {"QTY=7.AND..T.", 'L', 4, "", 1},
        {".t. .and. .FALSE.", 'L', 4, "", 0},
        {".F. .OR. .F. .OR. OK", 'L', 4, "", 1},
        {"DELETED()", 'L', 4, "", 0},
        {"CHR(65)", 'C', 1, "A", 0},
        {"DEL()", 'C', 1, " ", 0},
        {"DESCEND('A')", 'C', 1, "\xBF", 0},
        {"DESCEND(CHR(0))", 'C', 1, "\0"s, 0},
        {"ASCEND(OK)", 'C', 4, "1\0\0\0"s, 0},
        {"ASCEND(.F.)", 'C', 4, "0\0\0\0"s, 0},
        {"ASCEND(AMOUNT)", 'C', 8, numKey, 0},
        {"ASCEND(BORN+1)", 'C', 8, "20000301", 0},
        {"DESCEND(BORN)", 'C', 8, "\xCE\xD0\xD0\xD0\xD0\xCE\xCE\xC7", 0},
        {"TIME()", 'C', 8, "", -1},
        {"PAGENO()", 'n', 8, "", 0},
    };
    for (const ValueCase &c : cases) {
        SCOPED_TRACE(c.expr);
        EXPR4 *e = expr4parse(d, c.expr);
        ASSERT_NE(e, nullptr) << error4code(&cb);
        EXPECT_EQ(expr4type(e), c.type);
        EXPECT_EQ(expr4len(e), c.len);
        char *v = nullptr;
        ASSERT_EQ(expr4vary(e, &v), c.len);
        if (c.type == 'C' && c.number != -1) {
            EXPECT_EQ(std::string(v, static_cast<size_t>(c.len)), c.bytes);
        } else if (c.type == 'L') {
            EXPECT_EQ(expr4true(e), static_cast<int>(c.number));
        } else if (c.type != 'C') {
            EXPECT_DOUBLE_EQ(expr4double(e), c.number);
        }
        expr4free(e);
    }
    // Three operands joined by .AND. make one step with three parameters.
    EXPR4 *e = expr4parse(d, "OK .AND. OK .AND. OK");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->info.size(), 4u);
    EXPECT_EQ(e->info.back().numParms, 3);
    expr4free(e);
}

TEST_F(ExprTest, KeyTextOfEachResultType) {
    using namespace std::string_literals;
    struct KeyCase {
        const char *expr;
        int keyLen;
        std::string key;
    } cases[] = {
        {"UPPER(NAME)", 10, "ABC       "},
        {"TRIM(NAME) + CITY", 20, "abcBern             "}, // trailing NULs of a trimmed key become blanks
        {"DTOS(BORN)", 8, "20000229"},
        {"BORN", 8, "20000229"},
        {"BORN + 1", 8, "20000301"},
        {"QTY", 5, "00007"},
        {"QTY * 2", 17, "00000000000014.00"},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.expr);
        EXPR4 *e = expr4parse(d, c.expr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(expr4keyLen(e), c.keyLen);
        char *k = nullptr;
        ASSERT_EQ(expr4key(e, &k), c.keyLen);
        EXPECT_EQ(std::string(k, static_cast<size_t>(c.keyLen)), c.key);
        expr4free(e);
    }
    // Negative numbers sort before positive ones in key form.
    EXPR4 *e = expr4parse(d, "AMOUNT");
    char *k = nullptr;
    ASSERT_EQ(expr4key(e, &k), 8);
    std::string negative(k, 8);
    f4assignDouble(d4field(d, "AMOUNT"), -10);
    expr4key(e, &k);
    std::string moreNegative(k, 8);
    f4assignDouble(d4field(d, "AMOUNT"), 0.5);
    expr4key(e, &k);
    std::string positive(k, 8);
    EXPECT_LT(moreNegative, negative);
    EXPECT_LT(negative, positive);
    expr4free(e);
}

TEST_F(ExprTest, ParseErrorsGiveTheirCodes) {
    std::string deep;
    for (int i = 0; i < 20; ++i)
        deep += "1+(";
    deep += "1";
    for (int i = 0; i < 20; ++i)
        deep += ")";
    const struct {
        std::string expr;
        int code;
    } cases[] = {
        {"NAME +", -490},
        {"", -490},
        {"(NAME", -450},
        {"UPPER(NAME", -450},
        {"SUBSTR(NAME,QTY)", -425},
        {"STR(AMOUNT, QTY)", -425},
        {"UPPER(NAME,1)", -430},
        {"DATE(1)", -430},
        {"NAME & CITY", -480},
        {"'abc", -500},
        {"[abc", -500},
        {"FOO(1)", -470},
        {"NOFIELD", -210},
        {"NAME + 1", -460},
        {"UPPER(QTY)", -460},
        {"IIF(OK,'a','bc')", -422},
        {"OTHER->NAME", -420},
        {"ABCDEFGHIJKL", -490},
        {deep, -440},
        {"STR(QTY, 2000000000)", -440},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expr);
        error4set(&cb, 0);
        EXPECT_EQ(expr4parse(d, c.expr.c_str()), nullptr);
        EXPECT_EQ(error4code(&cb), c.code);
    }
    // With exprErrors off the code is returned without being latched.
    error4set(&cb, 0);
    cb.exprErrors = 0;
    EXPECT_EQ(expr4parse(d, "NAME & CITY"), nullptr);
    EXPECT_EQ(error4code(&cb), 0);
    cb.exprErrors = 1;
    // A latched error stops evaluation.
    EXPR4 *e = expr4parse(d, "NAME");
    ASSERT_NE(e, nullptr);
    error4set(&cb, -120);
    char *v = nullptr;
    EXPECT_EQ(expr4vary(e, &v), -1410);
    error4set(&cb, 0);
    expr4free(e);
}

TEST_F(ExprTest, AliasReferencesAnotherOpenTable) {
    DATA4 *other = d4create(&cb, "other", exprFields);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(d4appendStart(other), 0);
    f4assign(d4field(other, "NAME"), "zzz");
    ASSERT_EQ(d4append(other), 0);
    EXPR4 *e = expr4parse(d, "NAME + OTHER->NAME");
    ASSERT_NE(e, nullptr) << error4code(&cb);
    char *v = nullptr;
    ASSERT_EQ(expr4vary(e, &v), 20);
    EXPECT_EQ(std::string(v, 20), "abc       zzz       ");
    expr4free(e);
}
