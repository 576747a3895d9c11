#include "storage/CvDbValue.h"

#include <utility>

#include "storage/CvDbText.h"

CvDbValue CvDbValue::FromInteger(int64_t value) {
    CvDbValue result;
    result.m_value.emplace<Integer>(value);
    return result;
}

CvDbValue CvDbValue::FromAnsi(std::string text) {
    CvDbValue result;
    result.m_value.emplace<AnsiText>(std::move(text));
    return result;
}

CvDbValue CvDbValue::FromWide(std::u16string text) {
    CvDbValue result;
    result.m_value.emplace<WideText>(std::move(text));
    return result;
}

int64_t CvDbValue::AsInteger() const {
    const int64_t* value = std::get_if<Integer>(&m_value);
    return value ? *value : 0;
}

std::string CvDbValue::AsAnsi() const {
    const std::string* text = std::get_if<AnsiText>(&m_value);
    return text ? *text : std::string();
}

std::u16string CvDbValue::AsWide() const {
    const std::u16string* text = std::get_if<WideText>(&m_value);
    return text ? *text : std::u16string();
}

std::string CvDbValue::AsUtf8() const {
    switch (GetTag()) {
        case AnsiText:
            return AsAnsi();
        case WideText:
            return CvDbText::ToUtf8(AsWide());
        default:
            return {};
    }
}
