#include "text_channels.h"

#include "runtime_services.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

namespace zariza {

namespace {

QString reasonForErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("没有权限");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一部分不是文件夹");
    case EISDIR:
        return QStringLiteral("这是一个文件夹，不是文件");
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("磁盘空间不足");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    default:
        return {};
    }
}

// A Chinese reason for a failed file operation; errno is read right after the failing call.
QString reasonFor(const QFileDevice &file, int savedErrno) {
    QString reason = reasonForErrno(savedErrno);
    if (!reason.isEmpty())
        return reason;
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有权限");
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘空间不足或系统资源不足");
    default:
        return QStringLiteral("无法访问（%1）").arg(file.errorString());
    }
}

} // namespace

struct TextChannels::Channel {
    ChannelMode mode;
    QString fileName;
    // input
    QStringList lines;
    qsizetype nextLine = 0;
    bool clean = true;
    // output
    std::unique_ptr<QSaveFile> file;
    QByteArray pending;
};

TextChannels::TextChannels(const TextCodec &codec) : m_codec(codec) {}

TextChannels::~TextChannels() = default;

int TextChannels::freeFile() const {
    for (int channel = 1; channel <= maxChannel; ++channel) {
        if (!isOpen(channel))
            return channel;
    }
    throw RuntimeError(QStringLiteral("打开的文件太多"));
}

bool TextChannels::isOpen(int channel) const {
    return m_channels.count(channel) != 0;
}

void TextChannels::open(const QString &fileName, int channel, ChannelMode mode) {
    if (channel < 1 || channel > maxChannel)
        throw RuntimeError(QStringLiteral("文件通道号无效"));
    if (isOpen(channel))
        throw RuntimeError(QStringLiteral("文件通道已被占用"), fileName);
    if (fileName.isEmpty())
        throw RuntimeError(QStringLiteral("没有指定文件名"));

    auto opened = std::make_unique<Channel>();
    opened->mode = mode;
    opened->fileName = fileName;
    const QFileInfo info(fileName);

    if (mode == ChannelMode::Input) {
        if (!info.exists())
            throw RuntimeError(QStringLiteral("文件不存在"), fileName);
        if (info.isDir())
            throw RuntimeError(QStringLiteral("这是一个文件夹，不是文件"), fileName);
        if (!info.isFile())
            throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
        if (info.size() > maxInputBytes)
            throw RuntimeError(QStringLiteral("文件太大（超过 %1 MB）").arg(maxInputBytes >> 20),
                               fileName);
        QFile file(fileName);
        errno = 0;
        if (!file.open(QIODevice::ReadOnly))
            throw RuntimeError(reasonFor(file, errno), fileName);
        // Read one byte past the limit so a file that grew since the check is still refused.
        const QByteArray bytes = file.read(maxInputBytes + 1);
        if (file.error() != QFileDevice::NoError)
            throw RuntimeError(reasonFor(file, errno), fileName);
        if (bytes.size() > maxInputBytes)
            throw RuntimeError(QStringLiteral("文件太大（超过 %1 MB）").arg(maxInputBytes >> 20),
                               fileName);
        TextCodec::Decoded decoded = m_codec.decode(bytes);
        opened->lines = splitLines(decoded.text);
        opened->clean = decoded.clean;
    } else {
        if (info.isSymLink() && !info.exists())
            throw RuntimeError(QStringLiteral("链接指向的文件不存在"), fileName);
        if (info.isDir())
            throw RuntimeError(QStringLiteral("这是一个文件夹，不是文件"), fileName);
        if (info.exists() && !info.isFile())
            throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
        opened->file = std::make_unique<QSaveFile>(fileName);
        errno = 0;
        if (!opened->file->open(QIODevice::WriteOnly))
            throw RuntimeError(reasonFor(*opened->file, errno), fileName);
    }
    m_channels.emplace(channel, std::move(opened));
}

TextChannels::Channel &TextChannels::openChannel(int channel, ChannelMode mode) const {
    const auto found = m_channels.find(channel);
    if (found == m_channels.end())
        throw RuntimeError(QStringLiteral("文件通道没有打开"));
    if (found->second->mode != mode)
        throw RuntimeError(QStringLiteral("文件通道的读写方式不对"), found->second->fileName);
    return *found->second;
}

bool TextChannels::endOfFile(int channel) const {
    const Channel &input = openChannel(channel, ChannelMode::Input);
    return input.nextLine >= input.lines.size();
}

QString TextChannels::lineInput(int channel) {
    Channel &input = openChannel(channel, ChannelMode::Input);
    if (input.nextLine >= input.lines.size())
        throw RuntimeError(QStringLiteral("已经读到文件末尾"), input.fileName);
    return std::move(input.lines[input.nextLine++]);
}

bool TextChannels::decodedCleanly(int channel) const {
    return openChannel(channel, ChannelMode::Input).clean;
}

void TextChannels::print(int channel, QStringView item) {
    Channel &output = openChannel(channel, ChannelMode::Output);
    output.pending += m_codec.encode(item);
    output.pending += "\r\n";
}

void TextChannels::close(int channel) {
    const auto found = m_channels.find(channel);
    if (found == m_channels.end())
        return;
    // Whatever happens below, the channel is free again afterwards.
    const std::unique_ptr<Channel> closing = std::move(found->second);
    m_channels.erase(found);
    if (closing->mode == ChannelMode::Input)
        return;

    QSaveFile &file = *closing->file;
    errno = 0;
    // A short write or a failed flush sets no error that commit() would notice, so a full disk
    // could otherwise commit a truncated file.
    const bool written = file.write(closing->pending) == closing->pending.size() && file.flush();
    const int writeErrno = errno;
    if (!written) {
        file.cancelWriting();
        throw RuntimeError(reasonFor(file, writeErrno), closing->fileName);
    }
    if (!file.commit())
        throw RuntimeError(reasonFor(file, errno), closing->fileName);
}

void TextChannels::abandon(int channel) noexcept {
    const auto found = m_channels.find(channel);
    if (found == m_channels.end())
        return;
    if (found->second->file)
        found->second->file->cancelWriting();
    m_channels.erase(found);
}

QStringList splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.sliced(start).toString());
    return lines;
}

} // namespace zariza
