#include "app/CvPropertyValue.h"

CvPropertyValue CvPropertyValue::Text(std::string text) {
    CvPropertyValue value;
    value.m_value = std::move(text);
    return value;
}

CvPropertyValue CvPropertyValue::Integer(int32_t number) {
    CvPropertyValue value;
    value.m_value = number;
    return value;
}

CvPropertyValue::Kind CvPropertyValue::GetKind() const {
    switch (m_value.index()) {
        case 1:
            return Kind::Text;
        case 2:
            return Kind::Integer;
        default:
            return Kind::Empty;
    }
}

std::string CvPropertyValue::GetText() const {
    const auto* text = std::get_if<std::string>(&m_value);
    return text != nullptr ? *text : std::string();
}

int32_t CvPropertyValue::GetInt() const {
    const auto* number = std::get_if<int32_t>(&m_value);
    return number != nullptr ? *number : 0;
}
