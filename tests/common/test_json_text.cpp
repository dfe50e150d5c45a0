#include "common/JsonRef.h"
#include "common/TextUtils.h"

#include <gtest/gtest.h>

#include <json-c/json.h>

namespace {

JsonRef parse(const char* text)
{
    return JsonRef::parse(text, strlen(text));
}

} // namespace

TEST(JsonRef, LenientConversionsByType)
{
    JsonRef doc = parse(R"({"s42":"42","s12abc":"12abc","sx":"abc","d":2.9,"half":0.5,
                            "t":true,"f":false,"i":-7,"o":{"a":1},"a":[1,2,3],"n":null,
                            "sd":"3.25x","big":"99999999999999999999"})");
    ASSERT_TRUE(doc.isObject());
    EXPECT_EQ(doc.get("s42").toInt(), 42);
    EXPECT_EQ(doc.get("s12abc").toInt(), 12);
    EXPECT_EQ(doc.get("sx").toInt(), 0);
    EXPECT_EQ(doc.get("sx").toDouble(), 0);
    EXPECT_EQ(doc.get("d").toInt(), 2);
    EXPECT_DOUBLE_EQ(doc.get("d").toDouble(), 2.9);
    EXPECT_EQ(doc.get("half").toString(), "0.500000");
    EXPECT_EQ(doc.get("t").toString(), "true");
    EXPECT_EQ(doc.get("f").toString(), "false");
    EXPECT_EQ(doc.get("t").toInt(), 1);
    EXPECT_EQ(doc.get("t").toDouble(), 1);
    EXPECT_EQ(doc.get("i").toString(), "-7");
    EXPECT_EQ(doc.get("i").toDouble(), -7);
    EXPECT_EQ(doc.get("o").toInt(), 0);
    EXPECT_EQ(doc.get("o").toString(), "");
    EXPECT_EQ(doc.get("a").toDouble(), 0);
    EXPECT_EQ(doc.get("n").toString(), "");
    EXPECT_TRUE(doc.get("n").isNull());
    EXPECT_DOUBLE_EQ(doc.get("sd").toDouble(), 3.25);
    // Out of range never escapes as an exception.
    EXPECT_EQ(doc.get("big").toInt(), 0);
    EXPECT_EQ(doc.get("missing").toInt(), 0);
    EXPECT_EQ(doc.get("missing").toString(), "");
}

TEST(JsonRef, SizesIndexesAndChildLifetime)
{
    JsonRef child;
    {
        JsonRef doc = parse(R"({"a":[10,"x",{"k":"v"}],"b":1})");
        EXPECT_EQ(doc.size(), 2);
        EXPECT_EQ(doc.get("a").size(), 3);
        EXPECT_EQ(doc.get("b").size(), 0);
        EXPECT_EQ(doc.get("a").at(0).toInt(), 10);
        EXPECT_TRUE(doc.get("a").at(3).isNull());
        EXPECT_TRUE(doc.get("a").at(-1).isNull());
        EXPECT_TRUE(doc.get("b").at(0).isNull());
        EXPECT_TRUE(doc.get("a").get("k").isNull());
        child = doc.get("a").at(2);
    }
    // The child holds its own reference after the document is gone.
    EXPECT_EQ(child.get("k").toString(), "v");
}

TEST(JsonRef, ParseIsByLengthAndRejectsGarbage)
{
    const char buf[] = "{\"a\":1}XYZ";
    EXPECT_EQ(JsonRef::parse(buf, 7).get("a").toInt(), 1);
    EXPECT_TRUE(JsonRef::parse(buf, sizeof(buf) - 1).isNull());
    EXPECT_TRUE(JsonRef::parse("{\"a\":", 5).isNull());
    EXPECT_TRUE(JsonRef::parse("", 0).isNull());
    EXPECT_FALSE(JsonRef::parse("[1] \n", 5).isNull());
    // An escaped NUL keeps the whole string.
    EXPECT_EQ(JsonRef::parse(std::string("\"a\\u0000b\"")).toString(), std::string("a\0b", 3));
}

TEST(TextUtils, FormatSizeBoundaries)
{
    EXPECT_EQ(formatSize(0), "0 B");
    EXPECT_EQ(formatSize(1024), "1024 B");
    EXPECT_EQ(formatSize(1025), "1 kB");
    EXPECT_EQ(formatSize(1048576), "1024 kB");
    EXPECT_EQ(formatSize(1048577), "1 M");
    EXPECT_EQ(formatSize(1073741824), "1024 M");
    EXPECT_EQ(formatSize(1073741825), "1 G");
    EXPECT_EQ(formatSize(int64_t(19) * 1073741824 / 10), "1 G");
    // Sizes beyond 32 bits.
    EXPECT_EQ(formatSize(int64_t(5) << 40), "5120 G");
}

TEST(TextUtils, FormatString)
{
    EXPECT_EQ(formatString("%s(%d)", "Export", 2), "Export(2)");
    EXPECT_EQ(formatString("%s", ""), "");
    std::string longText(5000, 'x');
    EXPECT_EQ(formatString("<%s>", longText.c_str()).size(), 5002u);
    EXPECT_EQ(formatString("%.2f", 1.5), "1.50");
}

TEST(TextUtils, HexToBytes)
{
    std::string md5 = "d41d8cd98f00b204e9800998ecf8427e";
    std::string bytes = hexToBytes(md5.c_str(), int(md5.size()));
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(uint8_t(bytes[0]), 0xd4);
    EXPECT_EQ(uint8_t(bytes[15]), 0x7e);
    std::string odd = md5 + "f";
    EXPECT_EQ(hexToBytes(odd.c_str(), int(odd.size())), bytes);
    EXPECT_EQ(hexToBytes("ABcd", 4), std::string("\xab\xcd"));
    EXPECT_EQ(hexToBytes("", 0), "");
    // A non-hex digit never decodes to the byte the correct digits would give.
    EXPECT_NE(hexToBytes("g0", 2), hexToBytes("00", 2));
}

TEST(TextUtils, Utf8Validity)
{
    struct Case
    {
        const char* text;
        bool valid;
    } cases[] = {
        {"plain", true},         {"Gr\xC3\xBC\xC3\x9F" "e", true}, {"\xE2\x82\xAC", true},
        {"\xF0\x9F\x98\x80", true}, {"\xFF", false},             {"\xC3", false},
        {"\xC0\xAF", false},     // overlong "/"
        {"\xED\xA0\x80", false}, // a surrogate
        {"\xF4\x90\x80\x80", false}, // past U+10FFFF
        {"\xE2\x82", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isValidUtf8(c.text), c.valid) << c.text;
}

TEST(TextUtils, BlankText)
{
    struct Case
    {
        const char* text;
        bool blank;
    } cases[] = {
        {"", true},
        {" \t\r\n", true},
        {"\u2003", true},
        {"\u2009\u00a0\u3000\u200b\ufeff", true},
        {"\u2028\u205f\u1680", true},
        {" a ", false},
        {"\u2003.", false},
        {"\u00e9", false},
        {"\U0001F600", false},
        {"\xE2\x80", false}, // cut off: not a blank character
    };
    for (const Case& c : cases)
        EXPECT_EQ(isBlankText(c.text), c.blank) << c.text;
}
