// What a browser sends, taken apart: forms, multipart bodies and the checks of text fields.
#include "FormData.h"
#include "Multipart.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

class CRecorder : public IMultipartSink {
public:
    bool PartBegin(const CMultipartPart& part, std::string& error) override {
        if (part.name == "refuse") {
            error = "refused";
            return false;
        }
        log += "<" + part.name + (part.hasFileName ? "|" + part.fileName : "") + ">";
        return true;
    }
    bool PartData(std::string_view data, std::string&) override {
        log.append(data);
        return true;
    }
    bool PartEnd(std::string&) override {
        log += "</>";
        return true;
    }
    std::string log;
};

const std::string BODY =
    "preamble\r\n--XyZ\r\n"
    "Content-Disposition: form-data; name=\"title\"\r\n\r\n"
    "Tools\r\n--XyZ\r\n"
    "Content-Disposition: form-data; name=\"file\"; filename=\"C:\\dir\\a %22b%22.zip\"\r\n"
    "Content-Type: application/zip\r\n\r\n"
    "PK\r\n--XyQ\r\n--Xy\r\n--XyZ--\r\nepilogue";

} // namespace

TEST(FormData, UrlEncodedFormsAreDecodedWithinBounds) {
    CFormFields fields;
    std::string error;
    ASSERT_TRUE(ParseUrlEncoded("a=1&b=x+y%21&&c&a=2&e=%E2%82%AC", fields, 8, 16, error));
    EXPECT_EQ(fields["a"], "1"); // the first of a repeated name
    EXPECT_EQ(fields["b"], "x y!");
    EXPECT_EQ(fields["c"], "");
    EXPECT_EQ(fields["e"], "\xE2\x82\xAC");
    EXPECT_FALSE(ParseUrlEncoded("a=%4", fields, 8, 16, error));
    EXPECT_FALSE(ParseUrlEncoded("a=%zz", fields, 8, 16, error));
    EXPECT_FALSE(ParseUrlEncoded("a=" + std::string(17, 'x'), fields, 8, 16, error));
    EXPECT_EQ(error, "a field of the form is too long");
    EXPECT_FALSE(ParseUrlEncoded("a=1&b=2&c=3", fields, 2, 16, error));
    EXPECT_EQ(error, "the form has too many fields");
    // NUL and line breaks decode as they are; the field checks refuse them.
    ASSERT_TRUE(ParseUrlEncoded("n=a%00b&m=a%0D%0Ab", fields, 8, 16, error));
    EXPECT_EQ(fields["n"], "a\0b"s);
    EXPECT_EQ(CheckOneLine(fields["n"], 80), ETextCheck::ControlCharacter);
    EXPECT_EQ(CheckOneLine(fields["m"], 80), ETextCheck::ControlCharacter);
    std::string multi = fields["m"];
    EXPECT_EQ(CheckMultiLine(multi, 80), ETextCheck::Good);
    EXPECT_EQ(multi, "a\nb");
    std::string loneCr = "a\rb";
    EXPECT_EQ(CheckMultiLine(loneCr, 80), ETextCheck::ControlCharacter);
    EXPECT_EQ(CheckOneLine("abc", 2), ETextCheck::TooLong);

    std::string boundary;
    EXPECT_TRUE(MultipartBoundary("multipart/form-data; boundary=----Web123", boundary));
    EXPECT_EQ(boundary, "----Web123");
    EXPECT_TRUE(
        MultipartBoundary("Multipart/Form-Data; charset=utf-8; boundary=\"a b\"", boundary));
    EXPECT_EQ(boundary, "a b");
    EXPECT_FALSE(MultipartBoundary("multipart/form-data", boundary));
    EXPECT_FALSE(MultipartBoundary("text/plain; boundary=x", boundary));
    EXPECT_FALSE(
        MultipartBoundary("multipart/form-data; boundary=" + std::string(71, 'x'), boundary));
}

TEST(FormData, Utf8IsCheckedStrictly) {
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong, three bytes
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));         // cut short
    EXPECT_FALSE(IsValidUtf8("\xFF"));
    EXPECT_EQ(CheckOneLine("caf\xE9", 80), ETextCheck::NotUtf8);
}

TEST(Multipart, PartsAreTheSameHoweverTheBodyArrives) {
    CRecorder whole;
    CMultipartParser parser("XyZ", whole);
    ASSERT_TRUE(parser.Feed(BODY)) << parser.Error();
    ASSERT_TRUE(parser.Finish());
    EXPECT_EQ(whole.log, "<title>Tools</><file|C:\\dir\\a %22b%22.zip>PK\r\n--XyQ\r\n--Xy</>");
    for (std::size_t piece : {1u, 2u, 3u, 7u}) {
        CRecorder split;
        CMultipartParser pieces("XyZ", split);
        for (std::size_t at = 0; at < BODY.size(); at += piece) {
            ASSERT_TRUE(pieces.Feed(std::string_view(BODY).substr(at, piece))) << pieces.Error();
        }
        ASSERT_TRUE(pieces.Finish());
        EXPECT_EQ(split.log, whole.log) << piece;
    }
    // A body that starts right at its first boundary.
    CRecorder direct;
    CMultipartParser first("b", direct);
    ASSERT_TRUE(first.Feed("--b\r\nContent-Disposition: form-data; name=x\r\n\r\n1\r\n--b--"));
    EXPECT_TRUE(first.Finish());
    EXPECT_EQ(direct.log, "<x>1</>");
}

TEST(Multipart, MalformedAndEndlessBodiesAreRefused) {
    auto parse = [](const std::string& body, std::string& error) {
        CRecorder sink;
        CMultipartParser parser("b", sink);
        const bool ok = parser.Feed(body) && parser.Finish();
        error = parser.Error();
        return ok;
    };
    std::string error;
    // The last part never closes: the body ended (or never would).
    EXPECT_FALSE(parse(
        "--b\r\nContent-Disposition: form-data; name=f\r\n\r\n" + std::string(100000, 'x'), error));
    EXPECT_EQ(error, "the form's data ended before its last part was complete");
    EXPECT_FALSE(parse("--b\r\nContent-Type: text/plain\r\n\r\nx\r\n--b--", error));
    EXPECT_FALSE(parse("--b\r\nContent-Disposition: attachment; name=f\r\n\r\nx\r\n--b--", error));
    EXPECT_FALSE(
        parse("--b\r\nContent-Disposition: form-data; name=\"open\r\n\r\nx\r\n--b--", error));
    EXPECT_FALSE(parse("--b\r\nX-Long: " + std::string(9000, 'h') + "\r\n\r\n", error));
    EXPECT_EQ(error, "a part of the form's data has too long a header");
    std::string many;
    for (int i = 0; i < 70; ++i) {
        many += "--b\r\nContent-Disposition: form-data; name=p\r\n\r\nx\r\n";
    }
    EXPECT_FALSE(parse(many + "--b--", error));
    EXPECT_EQ(error, "the form's data has too many parts");
    EXPECT_FALSE(
        parse("--b\r\nContent-Disposition: form-data; name=refuse\r\n\r\nx\r\n--b--", error));
    EXPECT_EQ(error, "refused");
    EXPECT_FALSE(parse("--bjunk\r\n", error));
}
