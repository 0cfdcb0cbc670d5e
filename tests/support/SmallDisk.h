#pragma once
// A real file system that runs out of space: a 64 KiB tmpfs mounted on a
// temporary folder, then filled to the last block. Only root may mount; a
// test without it skips (the write-failure hook covers the same paths).
#include <sys/mount.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class SmallDisk {
 public:
  SmallDisk() {
    if (geteuid() != 0 || !folder_.isValid()) return;
    mounted_ = ::mount("tmpfs", QFile::encodeName(folder_.path()).constData(), "tmpfs", 0,
                       "size=64k") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk &) = delete;
  SmallDisk &operator=(const SmallDisk &) = delete;

  bool mounted() const { return mounted_; }
  QString path(const QString &name) const { return folder_.filePath(name); }

  // Writes a filler file until the disk refuses more; afterwards every
  // write of new data fails with ENOSPC.
  void Fill() {
    QFile filler(path(QStringLiteral(".filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
    const QByteArray block(512, 'f');
    while (filler.write(block) == block.size()) {
    }
  }

 private:
  QTemporaryDir folder_;
  bool mounted_ = false;
};

}  // namespace testsupport
