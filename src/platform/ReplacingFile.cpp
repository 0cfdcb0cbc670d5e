#include "platform/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#include "platform/TemporaryFiles.h"

namespace scrivane {
namespace {

WriteFailureHook &Hook() {
  static WriteFailureHook hook;
  return hook;
}

QString ReasonOf(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The file a write to `path` ends up in: a symbolic link is followed, so
// that saving through it keeps the link.
QString FollowLinks(const QString &path) {
  QFileInfo info(path);
  if (!info.isSymLink()) return path;
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

}  // namespace

void SetWriteFailureHook(WriteFailureHook hook) { Hook() = std::move(hook); }

ReplacingFile::ReplacingFile(QString targetPath, LinkPolicy links)
    : target_(std::move(targetPath)), links_(links) {}

ReplacingFile::~ReplacingFile() { discard(); }

QString ReplacingFile::errorText() const {
  QString text = QStringLiteral("Unable to write to %1")
                     .arg(target_ == kStandardOutput ? QStringLiteral("standard output")
                                                     : QFileInfo(target_).absoluteFilePath());
  if (!reason_.isEmpty()) text += QStringLiteral(": ") + reason_;
  return text;
}

void ReplacingFile::Fail(int error) {
  if (reason_.isEmpty()) reason_ = ReasonOf(error);
  setErrorString(errorText());
}

void ReplacingFile::CloseDescriptor() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool ReplacingFile::open(OpenMode mode) {
  if (isOpen() || (mode & ReadOnly) || !(mode & WriteOnly)) return false;
  reason_.clear();
  refused_ = false;
  written_ = flushing_ = 0;
  if (target_.isEmpty()) {
    Fail(ENOENT);
    return false;
  }
  if (target_ == kStandardOutput) {
    // Nothing to keep: written as it comes, like a device.
    temporary_.clear();
    descriptor_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (descriptor_ < 0) {
      Fail(errno);
      return false;
    }
    return QIODevice::open(WriteOnly | Unbuffered);
  }
  if (links_ == LinkPolicy::Refuse) {
    // Checked on the name itself; the rename below replaces whatever entry
    // then has the name, so a link planted later is replaced, not followed.
    const QFileInfo entry(target_);
    if (entry.isSymLink()) {
      reason_ = QStringLiteral("it is a symbolic link to %1").arg(entry.symLinkTarget());
      refused_ = true;
      setErrorString(errorText());
      return false;
    }
    writeTo_ = target_;
  } else {
    writeTo_ = FollowLinks(target_);
  }
  const QByteArray encodedTarget = QFile::encodeName(writeTo_);
  struct stat existing {};
  const bool exists = ::stat(encodedTarget.constData(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    Fail(EISDIR);
    return false;
  }

  if (exists && !S_ISREG(existing.st_mode) && links_ == LinkPolicy::Refuse) {
    // A pipe or a device where a form's text belongs was planted too.
    reason_ = QStringLiteral("it is not a regular file");
    refused_ = true;
    setErrorString(errorText());
    return false;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    temporary_.clear();
    descriptor_ = ::open(encodedTarget.constData(), O_WRONLY | O_CLOEXEC);
  } else {
    if (sweepLeftovers_) RemoveStaleTemporaryFiles(writeTo_);
    // Beside the target, so that the rename stays on one file system.
    for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
      temporary_ = TemporaryNameFor(writeTo_, QRandomGenerator::global()->generate());
      descriptor_ = ::open(QFile::encodeName(temporary_).constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor_ < 0 && errno != EEXIST) break;
    }
    if (descriptor_ >= 0) {
      LockTemporaryFile(descriptor_);
      signalSlot_ = NoteTemporaryFile(temporary_);
    }
    if (descriptor_ >= 0 && exists) ::fchmod(descriptor_, existing.st_mode & 07777);
  }
  if (descriptor_ < 0) {
    Fail(errno);
    temporary_.clear();
    return false;
  }
  return QIODevice::open(WriteOnly | Unbuffered);
}

qint64 ReplacingFile::writeData(const char *data, qint64 size) {
  // After one failed write the file is lost anyway; later writes must not
  // make it look whole.
  if (descriptor_ < 0 || !reason_.isEmpty()) return -1;
  if (Hook()) {
    if (const int error = Hook()(target_, size)) {
      Fail(error);
      return -1;
    }
  }
  qint64 done = 0;
  while (done < size) {
    const ssize_t written = ::write(descriptor_, data + done, size_t(size - done));
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return -1;
    }
    if (written == 0) {
      Fail(ENOSPC);
      return -1;
    }
    done += written;
  }
  written_ += done;
  // The disk starts on what is written while the rest is made, so that the
  // sync that makes the file safe before it replaces the target finds
  // little left to do. Only a request: nothing waits here.
  constexpr qint64 kFlushStep = 1 << 18;
  if (!temporary_.isEmpty() && written_ - flushing_ >= kFlushStep) {
    ::sync_file_range(descriptor_, flushing_, written_ - flushing_, SYNC_FILE_RANGE_WRITE);
    flushing_ = written_;
  }
  return done;
}

void ReplacingFile::startSync() {
  if (!isOpen() || temporary_.isEmpty() || !reason_.isEmpty() || written_ == flushing_) return;
  ::sync_file_range(descriptor_, flushing_, written_ - flushing_, SYNC_FILE_RANGE_WRITE);
  flushing_ = written_;
}

bool ReplacingFile::sync() {
  if (!isOpen()) return false;
  if (reason_.isEmpty() && !temporary_.isEmpty() && synced_ != written_) {
    if (::fsync(descriptor_) != 0 && errno != EINVAL)
      Fail(errno);
    else
      synced_ = written_;
  }
  return reason_.isEmpty();
}

bool ReplacingFile::commit(FolderSync folderSync) {
  if (!isOpen()) return false;
  sync();
  QIODevice::close();
  if (::close(descriptor_) != 0 && reason_.isEmpty() && errno != EINTR) Fail(errno);
  descriptor_ = -1;
  if (!reason_.isEmpty()) {
    discard();
    return false;
  }
  if (temporary_.isEmpty()) return true;
  if (::rename(QFile::encodeName(temporary_).constData(),
               QFile::encodeName(writeTo_).constData()) != 0) {
    Fail(errno);
    discard();
    return false;
  }
  temporary_.clear();
  ForgetTemporaryFile(signalSlot_);
  signalSlot_ = -1;
  if (folderSync == FolderSync::Now) SyncFolderOf(writeTo_);
  return true;
}

void SyncFolderOf(const QString &path) {
  // The rename lives in the folder: flush it too, so that a power cut does
  // not bring the old name back. Failing here loses nothing.
  const int folder =
      ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

void ReplacingFile::discard() {
  if (isOpen()) QIODevice::close();
  CloseDescriptor();
  if (!temporary_.isEmpty()) ::unlink(QFile::encodeName(temporary_).constData());
  temporary_.clear();
  ForgetTemporaryFile(signalSlot_);
  signalSlot_ = -1;
}

bool ReplaceFileContents(const QString &path, const QByteArray &bytes, QString *reason) {
  ReplacingFile file(path);
  const bool written = file.open() && file.write(bytes) == bytes.size() && file.commit();
  if (!written && reason) *reason = file.failureReason();
  return written;
}

}  // namespace scrivane
