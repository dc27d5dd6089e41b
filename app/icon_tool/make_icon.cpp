// Writes the program's icon, drawn by the same code the program uses, as a
// PNG for installing: make_icon FILE [SIZE].
#include <QImage>
#include <QString>
#include <cstdio>

#include "artwork.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: make_icon FILE [SIZE]\n", stderr);
    return 2;
  }
  const int size = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 128;
  if (size < 16 || size > 1024) return 2;
  return vorn::DrawAppIcon(size).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
