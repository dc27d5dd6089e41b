#include "text_convert.h"

#include "platform/text.h"

namespace vorn {

QString DecodeText(std::string_view bytes) {
  const std::string text = ToValidUtf8(bytes);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string EncodeText(const QString& text) { return text.toStdString(); }

QColor ColorFromRef(uint32_t colorref) {
  return QColor(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                static_cast<int>((colorref >> 16) & 0xFF));
}

uint32_t RefFromColor(const QColor& color) {
  return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
         static_cast<uint32_t>(color.blue()) << 16;
}

}  // namespace vorn
