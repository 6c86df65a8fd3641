#pragma once

#include "common/Failure.h"

// A failure of the system underneath (files, JSON, processes), described the way a native
// program would: which file, and why.
class PlatformError : public Failure {
public:
    enum class Kind { FileSystem, Decoding, Launch, Network };

    PlatformError(Kind kind, const QString &description);

    Kind kind() const noexcept { return m_kind; }

    static PlatformError cannotRead(const QString &path, const QString &reason);
    static PlatformError cannotSave(const QString &path, const QString &reason);
    static PlatformError cannotCreateFolder(const QString &path, const QString &reason);
    static PlatformError cannotList(const QString &path, const QString &reason);
    static PlatformError notDecodable(const QString &path, const QString &reason);

    // The reason text of an errno value ("you do not have permission to …" style).
    static QString reasonForErrno(int error);

private:
    Kind m_kind;
};
