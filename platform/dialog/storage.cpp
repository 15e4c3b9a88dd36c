// Arrays in files and values in the user's settings.
#include "platform/dialog/storage.h"

#include "platform/runtime/array.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <QByteArray>
#include <QSaveFile>
#include <QSettings>
#include <QString>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace dlg {

namespace {

constexpr const char* kMagic = "DXC-ARRAY 1";
constexpr int kMaxDepth = 64;  // a hand-edited file cannot nest the reader into a stack overflow

void encode(const rt::Value& v, std::string& out)
{
    char buf[64];
    switch (v.typeLetter()) {
    case 'L': out += v.asBool() ? "L T\n" : "L F\n"; return;
    case 'N':
        std::snprintf(buf, sizeof buf, "N %d %.17g\n", v.decimals(), v.asDouble());
        out += buf;
        return;
    case 'D': out += "D " + rt::dtos(v.asDate()) + "\n"; return;
    case 'C': {
        const std::string_view s = v.asString();
        out += "C " + std::to_string(s.size()) + " " + QByteArray(s.data(), qsizetype(s.size())).toHex().toStdString() + "\n";
        return;
    }
    case 'A':
        out += "A " + std::to_string(v.asArray().size()) + "\n";
        for (const rt::Value& e : v.asArray().items)
            encode(e, out);
        return;
    default: out += "U\n"; return;  // blocks and objects do not persist
    }
}

struct Reader {
    std::istringstream in;
    std::string why;

    bool fail(std::string reason)
    {
        why = std::move(reason);
        return false;
    }

    bool value(rt::Value& v, int depth)
    {
        std::string line;
        if (!std::getline(in, line) || line.empty())
            return fail("the file ends too soon");
        std::istringstream f(line.substr(1));
        switch (line[0]) {
        case 'U': v = {}; return line == "U" || fail("bad line \"" + line + "\"");
        case 'L':
            if (line != "L T" && line != "L F")
                return fail("bad logical \"" + line + "\"");
            v = line == "L T";
            return true;
        case 'N': {
            int dec = -1;
            double d = 0;
            if (!(f >> dec >> d) || dec < 0 || dec > 9)
                return fail("bad number \"" + line + "\"");
            v = dec == 0 && d == double(static_cast<long long>(d)) ? rt::Value(static_cast<long long>(d))
                                                                  : rt::Value::number(d, dec);
            return true;
        }
        case 'D': {
            const std::string s = line.size() > 2 ? line.substr(2) : "";
            if (line.size() != 10 || (s != "        " && rt::dtos(rt::stod(s)) != s))
                return fail("bad date \"" + line + "\"");
            v = rt::stod(s);
            return true;
        }
        case 'C': {
            std::size_t n = 0;
            std::string hex;
            f >> n;
            std::getline(f, hex);
            if (!hex.empty() && hex[0] == ' ')
                hex.erase(0, 1);
            const QByteArray bytes = QByteArray::fromHex(QByteArray::fromStdString(hex));
            if (hex.size() != 2 * n || std::size_t(bytes.size()) != n)
                return fail("bad text \"" + line.substr(0, 40) + "\"");
            v = rt::Value(std::string_view(bytes.constData(), n));
            return true;
        }
        case 'A': {
            long long n = -1;
            if (!(f >> n) || n < 0 || depth >= kMaxDepth)
                return fail("bad array \"" + line + "\"");
            rt::Value a = rt::Value::array();
            for (long long i = 0; i < n; ++i) {
                rt::Value e;
                if (!value(e, depth + 1))
                    return false;
                a.asArray().items.push_back(std::move(e));
            }
            v = a;
            return true;
        }
        default: return fail("bad line \"" + line.substr(0, 40) + "\"");
        }
    }
};

}  // namespace

std::string encodeArrayText(const rt::Value& v)
{
    std::string out = std::string(kMagic) + "\n";
    encode(v, out);
    return out + "END\n";
}

std::optional<rt::Value> decodeArrayText(const std::string& text, std::string* why)
{
    Reader r{std::istringstream(text), {}};
    std::string line;
    rt::Value v;
    bool ok = std::getline(r.in, line) && line == kMagic ? r.value(v, 0) : r.fail("not an array file of this version");
    if (ok && (!std::getline(r.in, line) || line != "END" || r.in.peek() != std::char_traits<char>::eof()))
        ok = r.fail("the file does not end where it should");
    if (!ok) {
        if (why)
            *why = r.why;
        return std::nullopt;
    }
    return v;
}

bool aSave(const rt::Value& array, const std::string& file)
{
    QSaveFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const std::string text = encodeArrayText(array);
    if (f.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

rt::Value aRestore(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    std::string why;
    auto v = decodeArrayText(s.str(), &why);
    if (!v) {
        std::fprintf(stderr, "RK_ARestore: %s: %s\n", file.c_str(), why.c_str());
        return {};
    }
    return *v;
}

namespace {

QString text(const rt::Value& v) { return QString::fromStdString(v.isChar() ? v.str() : rt::xtoc(v)); }

QString settingKey(const rt::Value& subKey, const rt::Value& name)
{
    // "/" and "\" would make sub-groups of a name: keep the name one key.
    QString n = text(name);
    n.replace('/', '_').replace('\\', '_');
    QString g = text(subKey);
    g.replace('\\', '/');
    return g.isEmpty() ? n : g + "/" + n;
}

}  // namespace

bool regWrite(const rt::Value& key, const rt::Value& subKey, const rt::Value& name, const rt::Value& value)
{
    QSettings s("dxc", text(key));
    s.setValue(settingKey(subKey, name), QString::fromStdString(encodeArrayText(value)));
    s.sync();
    return s.status() == QSettings::NoError;
}

rt::Value regQuery(const rt::Value& key, const rt::Value& subKey, const rt::Value& name)
{
    QSettings s("dxc", text(key));
    const QVariant v = s.value(settingKey(subKey, name));
    if (!v.isValid())
        return {};
    auto decoded = decodeArrayText(v.toString().toStdString());
    return decoded ? *decoded : rt::Value();
}

void registerStorageFunctions()
{
    rt::registerFunction("RK_ASave", [](rt::Args a) {
        return rt::Value(rt::argAt(a, 1).isChar() && aSave(rt::argAt(a, 0), rt::argAt(a, 1).str()));
    });
    rt::registerFunction("RK_ARestore", [](rt::Args a) {
        return rt::argAt(a, 0).isChar() ? aRestore(rt::argAt(a, 0).str()) : rt::Value();
    });
    rt::registerFunction("RK_RegWrite", [](rt::Args a) {
        return rt::Value(regWrite(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 3)));
    });
    rt::registerFunction("RK_RegQuery",
                         [](rt::Args a) { return regQuery(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2)); });
}

}  // namespace dlg
