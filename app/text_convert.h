#pragma once
// Between the core's byte texts and Qt's strings, and the COLORREF values
// (0x00BBGGRR) that the settings keep.
#include <QColor>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// Peers send bytes in whatever their user typed: each valid UTF-8 character
// is taken as such and every other byte as Latin-1, so nothing is dropped
// and a name in the old code page does not garble the UTF-8 text beside it.
QString DecodeText(std::string_view bytes);
// The profile and this program's own texts are UTF-8.
std::string EncodeText(const QString& text);

QColor ColorFromRef(uint32_t colorref);
uint32_t RefFromColor(const QColor& color);

}  // namespace vorn
