#include "mail/mime/MimeReader.h"

#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <mutex>

#include "mail/mime/CharsetDecoding.h"
#include "mail/mime/HtmlText.h"
#include "mail/mime/LineEnds.h"
#include "mail/mime/MailLayout.h"

namespace kervo {

namespace {

// Parts nested deeper than this are not searched for text; the parser has its own, larger
// bound on what it builds.
constexpr int kMaxDepth = 32;

void initialiseGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

template <typename T>
T* as(gpointer object, GType type) {
    return G_TYPE_CHECK_INSTANCE_TYPE(object, type) ? static_cast<T*>(object) : nullptr;
}

struct BodyParts {
    GMimePart* plain = nullptr;
    GMimePart* html = nullptr;
};

bool isAttachment(GMimeObject* object, GMimePart* part) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition != nullptr && g_mime_content_disposition_is_attachment(disposition)) {
        return true;
    }
    const char* filename = g_mime_part_get_filename(part);
    return filename != nullptr && *filename != '\0';
}

// The first text/plain part in document order, and the first HTML part as a stand-in. The
// part that is a message's whole body counts whatever its disposition says: there is nothing
// else to read.
void collectBodyParts(GMimeObject* object, int depth, bool wholeBody, BodyParts& found) {
    if (object == nullptr || depth > kMaxDepth || found.plain != nullptr) {
        return;
    }
    if (auto* messagePart = as<GMimeMessagePart>(object, GMIME_TYPE_MESSAGE_PART)) {
        if (GMimeMessage* inner = g_mime_message_part_get_message(messagePart)) {
            collectBodyParts(g_mime_message_get_mime_part(inner), depth + 1, true, found);
        }
        return;
    }
    if (auto* multipart = as<GMimeMultipart>(object, GMIME_TYPE_MULTIPART)) {
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count && found.plain == nullptr; ++i) {
            collectBodyParts(g_mime_multipart_get_part(multipart, i), depth + 1, false, found);
        }
        return;
    }
    auto* part = as<GMimePart>(object, GMIME_TYPE_PART);
    if (part == nullptr || (!wholeBody && isAttachment(object, part))) {
        return;
    }
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type == nullptr || g_mime_content_type_is_type(type, "text", "plain")) {
        found.plain = part;
    } else if (found.html == nullptr && g_mime_content_type_is_type(type, "text", "html")) {
        found.html = part;
    }
}

// The system's words for the read error that just happened, taken before errno moves on.
Error lastReadError() {
    return Error{qt_error_string(errno)};
}

// How much of a part's content is read at a time. The library's own filter stream pulls content
// through in 4 KB pieces, each a seek and a read of the file and a copy through its buffers; a
// 5 MB report took over a thousand of them.
constexpr qint64 kContentBlock = 256 * 1024;

bool isIdentity(GMimeContentEncoding encoding) {
    return encoding == GMIME_CONTENT_ENCODING_DEFAULT || encoding == GMIME_CONTENT_ENCODING_7BIT ||
           encoding == GMIME_CONTENT_ENCODING_8BIT || encoding == GMIME_CONTENT_ENCODING_BINARY;
}

// The content through the library's filter stream: for uuencode, whose "begin" line only that
// filter looks for.
Result<QByteArray> filteredContent(GMimeDataWrapper* content, qint64 encoded) {
    GByteArray* buffer = g_byte_array_sized_new(
        static_cast<guint>(std::clamp<qint64>(encoded, 0, std::numeric_limits<guint>::max() / 2)));
    GObjectPtr<GMimeStream> sink(g_mime_stream_mem_new_with_byte_array(buffer));
    if (g_mime_data_wrapper_write_to_stream(content, sink.get()) < 0) {
        return lastReadError();
    }
    return QByteArray(reinterpret_cast<const char*>(buffer->data),
                      static_cast<qsizetype>(buffer->len));
}

// The content with its transfer encoding undone. The structure stays the library's; the bytes
// are read here in large blocks and decoded by the library's own step functions straight into
// the one buffer the text is made from, which the decoded bytes never outgrow (base64 and
// quoted-printable only shrink).
Result<QByteArray> decodedContent(GMimeDataWrapper* content) {
    GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    const qint64 encoded = g_mime_stream_length(stream);
    const bool stepped = encoding == GMIME_CONTENT_ENCODING_BASE64 ||
                         encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    if (!stepped && !isIdentity(encoding)) {
        return filteredContent(content, encoded);
    }
    if (g_mime_stream_reset(stream) != 0) {
        return lastReadError();
    }
    GMimeEncoding state{};
    g_mime_encoding_init_decode(&state, encoding);
    const qint64 blockSize = encoded > 0 ? std::min(encoded, kContentBlock) : kContentBlock;
    QByteArray block(stepped ? blockSize : 0, Qt::Uninitialized);
    QByteArray out;
    out.reserve(std::clamp<qint64>(encoded, 0, kMaxMailBytes) + 8);
    qsizetype used = 0;
    qint64 consumed = 0;
    while (!g_mime_stream_eos(stream)) {
        // As much as is left, when the length is known: a small part costs no large buffer.
        const qint64 want =
            encoded > consumed ? std::min(encoded - consumed, blockSize) : blockSize;
        const qsizetype room =
            stepped ? qsizetype(g_mime_encoding_outlen(&state, size_t(want))) : want;
        if (out.capacity() - used < room) {
            out.reserve(used + std::max(room, used / 2));  // only when the length was wrong
        }
        out.resize(out.capacity());  // within the capacity: nothing moves
        char* into = stepped ? block.data() : out.data() + used;
        const ssize_t got = g_mime_stream_read(stream, into, static_cast<size_t>(want));
        if (got < 0) {
            return lastReadError();
        }
        if (got == 0) {
            break;  // the file got shorter meanwhile
        }
        consumed += got;
        used += stepped ? qsizetype(g_mime_encoding_step(&state, block.constData(), size_t(got),
                                                         out.data() + used))
                        : got;
    }
    out.resize(used);
    return out;
}

// The part's content decoded as text; an Error when the file failed under the read. With
// reserveLineRoom the text has room for a CR before each line feed, so that toCrLf need not move
// it to a larger buffer.
Result<QString> partText(GMimePart* part, bool reserveLineRoom) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) {
        return QString();
    }
    Result<QByteArray> bytes = decodedContent(content);
    if (!bytes.ok()) {
        return bytes.error();
    }
    const char* charset = g_mime_object_get_content_type_parameter(
        as<GMimeObject>(part, GMIME_TYPE_OBJECT), "charset");
    const qsizetype room = reserveLineRoom ? mime::countLineFeeds(bytes.value()) : 0;
    return mime::decodeTrusting(bytes.value(), QByteArray(charset ? charset : ""), room);
}

// The body text; an Error when the file failed under the read.
Result<QString> bodyText(GMimeObject* body) {
    BodyParts found;
    collectBodyParts(body, 0, true, found);
    Result<QString> text = QString();
    if (found.plain != nullptr) {
        text = partText(found.plain, true);
    } else if (found.html != nullptr) {
        text = partText(found.html, false);
        if (text.ok()) {
            text = mime::htmlToText(text.value());
        }
    }
    if (text.ok()) {
        mime::toCrLf(text.value());
    }
    return text;
}

// Bytes [from, to) of the mail; an Error on a read error.
Result<QByteArray> readRange(GMimeStream* stream, qint64 from, qint64 to) {
    if (g_mime_stream_seek(stream, from, GMIME_STREAM_SEEK_SET) != from) {
        return lastReadError();
    }
    QByteArray out(to - from, Qt::Uninitialized);
    qint64 done = 0;
    while (done < out.size()) {
        const ssize_t got =
            g_mime_stream_read(stream, out.data() + done, static_cast<size_t>(out.size() - done));
        if (got < 0) {
            return lastReadError();
        }
        if (got == 0) {
            break;  // the file got shorter meanwhile
        }
        done += got;
    }
    out.truncate(done);
    return out;
}

// What the parser reads: the mail itself, or, when its header lines are longer than the parser
// is given, their two ends joined, then the rest of the mail from the line that ends them.
GObjectPtr<GMimeStream> parserInput(GMimeStream* mail, const mime::MailLayout& layout,
                                    qint64 size) {
    if (layout.headKeep >= layout.tailKeep) {
        return GObjectPtr<GMimeStream>(g_mime_stream_substream(mail, 0, size));
    }
    GObjectPtr<GMimeStream> joined(g_mime_stream_cat_new());
    auto* cat = as<GMimeStreamCat>(joined.get(), GMIME_TYPE_STREAM_CAT);
    const GObjectPtr<GMimeStream> head(g_mime_stream_substream(mail, 0, layout.headKeep));
    const GObjectPtr<GMimeStream> tail(g_mime_stream_substream(mail, layout.tailKeep, size));
    g_mime_stream_cat_add_source(cat, head.get());
    g_mime_stream_cat_add_source(cat, tail.get());
    return joined;
}

Error cannotRead(const QString& name, const Error& why) {
    return Error{QStringLiteral("%1 cannot be read: %2").arg(name, why.message)};
}

// Reads a mail from a seekable stream that holds it from offset 0 to size.
Result<MailTexts> readStream(GMimeStream* mail, qint64 size, const QString& name) {
    qint64 position = 0;
    const mime::MailReadFn read = [&](char* buffer, qint64 length) -> qint64 {
        const qint64 wanted = std::min(length, size - position);
        if (wanted <= 0) {
            return 0;
        }
        const ssize_t got = g_mime_stream_read(mail, buffer, static_cast<size_t>(wanted));
        position += std::max<qint64>(got, 0);
        return got;
    };
    if (g_mime_stream_seek(mail, 0, GMIME_STREAM_SEEK_SET) != 0) {
        return cannotRead(name, lastReadError());
    }
    const Result<mime::MailLayout> scanned = mime::scanLayout(read, QStringLiteral("Subject"));
    if (!scanned.ok()) {
        return cannotRead(name, scanned.error());
    }
    const mime::MailLayout& layout = scanned.value();
    MailTexts texts;
    if (layout.header) {
        texts.subject = decodeHeaderValue(*layout.header);
    }
    if (layout.wellFormed) {
        const GObjectPtr<GMimeStream> input = parserInput(mail, layout, size);
        const GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(input.get()));
        g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
        // Content stays in the file until it is decoded, instead of being copied while parsing.
        g_mime_parser_set_persist_stream(parser.get(), TRUE);
        // Read as the part it is, not as a message: the structure is the same, and the message's
        // own fields (senders and recipients, date, ids), which nothing here reads, were a third
        // of what parsing a report cost.
        const GObjectPtr<GMimeObject> body(g_mime_parser_construct_part(parser.get(), nullptr));
        if (body) {
            Result<QString> text = bodyText(body.get());
            if (!text.ok()) {
                return cannotRead(name, text.error());
            }
            texts.body = std::move(text).value();
            return texts;
        }
    }
    // Whatever the parser makes of it, the text is there for the rules to see.
    {
        const Result<QByteArray> rest = readRange(mail, layout.bodyStart, size);
        if (!rest.ok()) {
            return cannotRead(name, rest.error());
        }
        texts.body = decodeUnlabelled(rest.value());
    }  // the raw bytes are let go before the text grows its line ends
    mime::toCrLf(texts.body);
    return texts;
}

// A mail up to this size is read into memory with one read, and parsed there: the parser's
// small reads of the file (a seek and a read every 4 KB) were most of what a report of a few
// kilobytes cost. A larger one is parsed from the file, so that memory follows its text.
constexpr qint64 kWholeReadBytes = 1024 * 1024;

// Reads the first size bytes of the file (fewer if it got shorter meanwhile), closes it, and
// reads the mail from memory.
Result<MailTexts> readSmallFile(int fd, qint64 size, const QString& name) {
    GByteArray* bytes = g_byte_array_sized_new(static_cast<guint>(size));
    g_byte_array_set_size(bytes, static_cast<guint>(size));
    // The stream owns the bytes from here on.
    const GObjectPtr<GMimeStream> mail(g_mime_stream_mem_new_with_byte_array(bytes));
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, bytes->data + done, static_cast<size_t>(size - done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const Error error = cannotRead(name, lastReadError());
            ::close(fd);
            return error;
        }
        if (got == 0) {
            break;  // the file got shorter meanwhile
        }
        done += got;
    }
    ::close(fd);
    g_byte_array_set_size(bytes, static_cast<guint>(done));
    return readStream(mail.get(), done, name);
}

}  // namespace

Result<MailTexts> readMailFile(const QString& path, qint64 maxBytes) {
    const QString name = QDir::toNativeSeparators(path);
    if (path.isEmpty()) {
        return Error{QStringLiteral("a mail file without a name cannot be read")};
    }
    // Non-blocking, so that a FIFO put in its place cannot hang the open; only regular files
    // are read, since a FIFO or a device would block or never end.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return cannotRead(name, lastReadError());
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const Error error = cannotRead(name, lastReadError());
        ::close(fd);
        return error;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return Error{QStringLiteral("%1 is not a regular file").arg(name)};
    }
    initialiseGMime();
    const qint64 size = std::min<qint64>(status.st_size, std::max<qint64>(maxBytes, 0));
    if (size <= kWholeReadBytes) {
        return readSmallFile(fd, size, name);
    }
    // The stream owns the descriptor from here on.
    const GObjectPtr<GMimeStream> mail(g_mime_stream_fs_new_with_bounds(fd, 0, size));
    return readStream(mail.get(), size, name);
}

MailTexts readMailBytes(const QByteArray& raw) {
    initialiseGMime();
    const GObjectPtr<GMimeStream> mail(
        g_mime_stream_mem_new_with_buffer(raw.constData(), static_cast<size_t>(raw.size())));
    // Bytes in memory cannot fail to be read.
    Result<MailTexts> texts = readStream(mail.get(), raw.size(), {});
    return texts.ok() ? std::move(texts).value() : MailTexts{};
}

}  // namespace kervo
