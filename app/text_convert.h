#pragma once
// Between the core's byte texts and Qt's strings, and the COLORREF values
// (0x00BBGGRR) that the settings keep.
#include <QColor>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// Peers send bytes in whatever their user typed: UTF-8 when it is valid
// UTF-8, otherwise each byte is taken as Latin-1, so nothing is dropped.
QString DecodeText(std::string_view bytes);
// The profile and this program's own texts are UTF-8.
std::string EncodeText(const QString& text);

QColor ColorFromRef(uint32_t colorref);
uint32_t RefFromColor(const QColor& color);

}  // namespace vorn
