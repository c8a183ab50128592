#include "mail/mime/MimeReader.h"

#include <gmime/gmime.h>

#include <QFile>
#include <QFileInfo>
#include <memory>
#include <mutex>

#include "mail/mime/CharsetDecoding.h"
#include "mail/mime/HeaderDecoding.h"
#include "mail/mime/HtmlText.h"

namespace kervo {

namespace {

// Parts nested deeper than this are not searched for text; the parser has its own, larger
// bound on what it builds.
constexpr int kMaxDepth = 32;
// A saved report is a few kilobytes; this only keeps a runaway file from exhausting memory.
constexpr qint64 kMaxMailBytes = qint64(64) * 1024 * 1024;

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

// The part's content with its transfer encoding undone, as bytes.
QByteArray decodedContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) {
        return {};
    }
    GObjectPtr<GMimeStream> sink(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, sink.get());
    GByteArray* bytes =
        g_mime_stream_mem_get_byte_array(as<GMimeStreamMem>(sink.get(), GMIME_TYPE_STREAM_MEM));
    if (bytes == nullptr) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

QString partText(GMimePart* part) {
    const char* charset = g_mime_object_get_content_type_parameter(
        as<GMimeObject>(part, GMIME_TYPE_OBJECT), "charset");
    return mime::decodeTrusting(decodedContent(part), QByteArray(charset ? charset : ""));
}

// The analysis and the windows work with CR LF line ends; content written with bare LF (base64
// of a Unix text, for one) is brought to the same form.
QString withCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            out.append(u'\r');
        }
        out.append(text[i]);
    }
    return out;
}

QString bodyText(GMimeMessage* message) {
    BodyParts found;
    collectBodyParts(g_mime_message_get_mime_part(message), 0, true, found);
    if (found.plain != nullptr) {
        return withCrLf(partText(found.plain));
    }
    if (found.html != nullptr) {
        return withCrLf(mime::htmlToText(partText(found.html)));
    }
    return {};
}

}  // namespace

std::optional<MailTexts> readMailBytes(const QByteArray& raw, const QString& headerName) {
    initialiseGMime();
    GObjectPtr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size())));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) {
        return std::nullopt;
    }
    MailTexts texts;
    if (const auto header = mime::findRawHeader(raw, headerName)) {
        texts.header = decodeHeaderValue(*header);
    }
    texts.body = bodyText(message.get());
    return texts;
}

std::optional<MailTexts> readMailFile(const QString& path, const QString& headerName) {
    // Only regular files: a FIFO or a device would block or never end.
    const QFileInfo info(path);
    if (!info.isFile()) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // Reading to the file's size avoids reserving the whole limit for every small mail.
    const QByteArray raw = file.read(std::min(file.size(), kMaxMailBytes));
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return readMailBytes(raw, headerName);
}

}  // namespace kervo
