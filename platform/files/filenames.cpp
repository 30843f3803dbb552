#include "platform/files/filenames.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>

namespace vm::filenames {
namespace {

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 where the
// bytes there are not one: overlong forms, surrogates and values past
// U+10FFFF included.
int utf8SequenceLength(const uchar *p, qsizetype n)
{
    const uchar c = p[0];
    if (c < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (n < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return length;
}

bool isUtf8(const QByteArray &name)
{
    const auto *p = reinterpret_cast<const uchar *>(name.constData());
    for (qsizetype i = 0, n = name.size(); i < n;) {
        const int length = utf8SequenceLength(p + i, n - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// Valid UTF-8 runs as text, every other byte as \xHH.
QString escaped(const QByteArray &name)
{
    static const char hex[] = "0123456789ABCDEF";
    const auto *p = reinterpret_cast<const uchar *>(name.constData());
    QString out;
    out.reserve(name.size() * 2);
    for (qsizetype i = 0, n = name.size(); i < n;) {
        const int length = utf8SequenceLength(p + i, n - i);
        if (length > 0) {
            out += QString::fromUtf8(name.constData() + i, length);
            i += length;
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(hex[p[i] >> 4]);
            out += QLatin1Char(hex[p[i] & 15]);
            ++i;
        }
    }
    return out;
}

// iconv's documented failure value is the integer -1 as a handle.
const iconv_t kIconvFailed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)

class Converter {
public:
    Converter(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    {
    }
    ~Converter()
    {
        if (m_cd != kIconvFailed)
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // The whole input converted, or nothing where any byte does not convert.
    bool convert(const QByteArray &in, QByteArray *out) const
    {
        if (m_cd == kIconvFailed)
            return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out->resize(in.size() * 4 + 8);
        char *src = const_cast<char *>(in.constData());
        size_t srcLeft = size_t(in.size());
        char *dst = out->data();
        size_t dstLeft = size_t(out->size());
        if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || srcLeft != 0)
            return false;
        if (iconv(m_cd, nullptr, nullptr, &dst, &dstLeft) == size_t(-1))
            return false;
        out->truncate(out->size() - qsizetype(dstLeft));
        return true;
    }

private:
    iconv_t m_cd;
};

// The CP932 reading of a name, when every byte belongs to a character and
// the text converts back to the very same bytes (CP932 has a few characters
// with two codes; only the one that round-trips is taken as that text).
bool fromCp932(const QByteArray &name, QString *text)
{
    thread_local const Converter decoder("UTF-8", "CP932");
    thread_local const Converter encoder("CP932", "UTF-8");
    QByteArray utf8, back;
    if (!decoder.convert(name, &utf8) || !encoder.convert(utf8, &back) || back != name)
        return false;
    *text = QString::fromUtf8(utf8);
    return !text->contains(QLatin1Char('/')) && !text->contains(QChar(0));
}

} // namespace

QString displayName(const QByteArray &name)
{
    if (isUtf8(name))
        return QString::fromUtf8(name);
    QString text;
    if (fromCp932(name, &text))
        return text;
    return escaped(name);
}

namespace {
// The names in a folder, "." and ".." left out; none when it cannot be read.
QList<QByteArray> entriesOf(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.isEmpty() ? "." : folder.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
    }
    return names;
}
} // namespace

QString displayPath(const QByteArray &path)
{
    const QList<QByteArray> components = path.split('/');
    QStringList parts;
    QByteArray folder; // the components before the one in hand
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QByteArray &component = components[i];
        QString shown = displayName(component);
        if (!isUtf8(component)) {
            // As its folder's listing shows it: a neighbour may already look
            // like its preferred form, and that form would lead to the neighbour.
            const QList<QByteArray> names = entriesOf(i > 0 && folder.isEmpty() ? QByteArray("/") : folder);
            if (const qsizetype at = names.indexOf(component); at >= 0)
                shown = displayNames(names).at(at);
        }
        parts.append(shown);
        folder += i > 0 ? '/' + component : component;
    }
    return parts.join(QLatin1Char('/'));
}

QStringList displayNames(const QList<QByteArray> &names)
{
    QStringList shown(names.size());
    QList<qsizetype> foreign; // names that are not UTF-8
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (isUtf8(names[i]))
            shown[i] = QString::fromUtf8(names[i]);
        else
            foreign.append(i);
    }
    if (foreign.isEmpty())
        return shown; // the usual folder: nothing to tell apart
    QSet<QString> taken;
    taken.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!shown[i].isNull())
            taken.insert(shown[i]);
    }

    // A UTF-8 name always keeps its own form. The others choose in the order
    // of their bytes, each its first form that no name before it took: the
    // form goes to the name with the smallest bytes among those that want it,
    // whatever order the folder lists them in. One pass; a crafted folder of
    // thousands of names that all read alike costs no more than any other.
    std::stable_sort(
        foreign.begin(), foreign.end(), [&names](qsizetype a, qsizetype b) { return names[a] < names[b]; });
    QHash<QString, int> nextNumber; // escaped form -> first numbered form maybe free
    for (qsizetype i : std::as_const(foreign)) {
        QString form = displayName(names[i]);
        if (taken.contains(form)) {
            const QString base = escaped(names[i]);
            form = base;
            if (taken.contains(form)) {
                int &n = nextNumber[base];
                n = std::max(n, 1);
                for (;; ++n) {
                    form = base + QLatin1Char('~');
                    if (n > 1)
                        form += QString::number(n);
                    if (!taken.contains(form))
                        break;
                }
                ++n;
            }
        }
        shown[i] = form;
        taken.insert(form);
    }
    return shown;
}

QByteArray nativePath(const QString &path)
{
    QByteArray direct = path.toUtf8();
    struct stat st { };
    if (::lstat(direct.constData(), &st) == 0)
        return direct;

    const QStringList parts = path.split(QLatin1Char('/'));
    QByteArray out;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts[i];
        if (i > 0)
            out += '/';
        const QByteArray bytes = part.toUtf8();
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")) {
            out += bytes;
            continue;
        }
        if (::lstat((out + bytes).constData(), &st) == 0) {
            out += bytes;
            continue;
        }

        const QList<QByteArray> names = entriesOf(out);
        const qsizetype found = displayNames(names).indexOf(part);
        if (found < 0) {
            // Nothing is shown so: the rest as typed, for the open to refuse.
            out += bytes;
            for (qsizetype j = i + 1; j < parts.size(); ++j)
                out += '/' + parts[j].toUtf8();
            return out;
        }
        out += names[found];
    }
    return out;
}

} // namespace vm::filenames
