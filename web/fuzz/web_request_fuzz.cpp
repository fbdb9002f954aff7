// Feeds arbitrary bytes to the parsers of what a browser sends: URL-encoded forms, the
// boundary of a multipart content type, and multipart bodies cut into pieces at arbitrary
// points. Besides not crashing, a multipart body must give the same parts however it is cut,
// and no part data may appear outside a part.
#include "FormData.h"
#include "FuzzCheck.h"
#include "Multipart.h"
#include "Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class CRecorder : public IMultipartSink {
public:
    bool PartBegin(const CMultipartPart& part, std::string& /*error*/) override {
        Check(!m_open);
        m_open = true;
        m_log += "[" + part.name + "|" + part.fileName + "|";
        return true;
    }
    bool PartData(std::string_view data, std::string& /*error*/) override {
        Check(m_open);
        m_log.append(data);
        return true;
    }
    bool PartEnd(std::string& /*error*/) override {
        Check(m_open);
        m_open = false;
        m_log += "]";
        return true;
    }
    std::string m_log;
    bool m_open = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CFormFields fields;
    std::string error;
    if (ParseUrlEncoded(text, fields, 16, 64, error)) {
        Check(fields.size() <= 16);
        for (const auto& [name, value] : fields) {
            Check(value.size() <= 64);
        }
    }
    std::string boundary;
    if (MultipartBoundary(text.substr(0, 100), boundary)) {
        Check(!boundary.empty() && boundary.size() <= 70);
    }
    std::string decoded;
    static_cast<void>(base::PercentDecode(text, decoded, true));

    // The body: first byte picks where to cut, the rest is the body with boundary "b".
    if (size < 1) {
        return 0;
    }
    const std::size_t cut = data[0];
    const std::string_view body = text.substr(1);
    CRecorder whole;
    CMultipartParser wholeParser("b", whole);
    const bool wholeOk = wholeParser.Feed(body) && wholeParser.Finish();
    CRecorder pieces;
    CMultipartParser piecesParser("b", pieces);
    bool piecesOk = true;
    for (std::size_t at = 0; piecesOk && at < body.size(); at += cut + 1) {
        piecesOk = piecesParser.Feed(body.substr(at, cut + 1));
    }
    piecesOk = piecesOk && piecesParser.Finish();
    Check(wholeOk == piecesOk);
    if (wholeOk) {
        Check(whole.m_log == pieces.m_log);
        Check(!whole.m_open);
    }
    return 0;
}
