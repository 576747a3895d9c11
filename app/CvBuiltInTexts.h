#pragma once

#include <span>

// One built-in interface text: its identifier, the English text and the
// section that holds its translation in language files.
struct CvBuiltInText {
    int id;
    const char* text;
    const char* section;
};

// Every built-in text, in ascending identifier order. Identifiers come in
// blocks of 100 per section; gaps are identifiers without text.
std::span<const CvBuiltInText> CvBuiltInTexts();
