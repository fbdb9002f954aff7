#include "UploadProperties.h"

#include "Text.h"

namespace liftwell {

namespace {

constexpr char FIELD_END = '\r';

} // namespace

std::string CutText(std::string_view text, std::size_t limit) {
    return std::string(base::CutUtf8(text, limit));
}

void CUploadAreaList::Add(std::string name, std::string path) {
    m_areas.push_back({std::move(name), std::move(path)});
}

std::string CUploadAreaList::Format() const {
    std::string text;
    for (const CUploadArea& area : m_areas) {
        text += area.name;
        text += FIELD_END;
        text += area.path;
        text += FIELD_END;
    }
    return text;
}

void CUploadAreaList::Parse(std::string_view text) {
    m_areas.clear();
    std::size_t pos = 0;
    auto nextField = [&](std::string& field) {
        const std::size_t end = text.find(FIELD_END, pos);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        field = CutText(text.substr(pos, stop - pos), AREA_FIELD_LIMIT);
        pos = end == std::string_view::npos ? text.size() : end + 1;
    };
    while (pos < text.size()) {
        std::string name;
        std::string path;
        nextField(name);
        nextField(path);
        if (!name.empty() && !path.empty()) {
            Add(std::move(name), std::move(path));
        }
    }
}

const CUploadArea* CUploadAreaList::Find(std::string_view name) const {
    for (const CUploadArea& area : m_areas) {
        if (area.name == name) {
            return &area;
        }
    }
    return nullptr;
}

} // namespace liftwell
