// Decoding source lines from Windows-1252: our table against Qt's codec.
#include <QElapsedTimer>
#include <QStringDecoder>
#include <cstdio>

#include "platform/Text1252.h"

int main() {
  QByteArray line("  if Item.Quantity < Threshold then Inc(Result); // r\xe9sum\xe9 \x80 5");
  const int kLines = 1000000;
  qint64 characters = 0;

  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < kLines; ++i) characters += scrivane::Decode1252(line).size();
  const double ownMs = timer.nsecsElapsed() / 1e6;

  timer.restart();
  for (int i = 0; i < kLines; ++i) {
    QStringDecoder decoder("windows-1252");
    characters += QString(decoder(line)).size();
  }
  const double codecMs = timer.nsecsElapsed() / 1e6;

  std::printf("Decode1252:            %8.1f ms for %d lines (%.0f ns/line)\n", ownMs, kLines,
              ownMs * 1e6 / kLines);
  std::printf("QStringDecoder (ICU):  %8.1f ms for %d lines (%.0f ns/line)\n", codecMs, kLines,
              codecMs * 1e6 / kLines);
  std::printf("(%lld characters)\n", static_cast<long long>(characters));
  return 0;
}
