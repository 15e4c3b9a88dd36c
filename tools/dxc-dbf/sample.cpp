#include "sample.h"

#include "platform/dbf/table.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace sample {
namespace {

constexpr std::uint64_t kSeed = 0x5EED'D0C5'CA01'2024ull;
constexpr int kErrCreate = 20;  // the table layer's number for a table that cannot be created

// splitmix64: tiny, fast and the same on every platform, unlike the
// standard library's distributions.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool percent(int p) { return below(100) < p; }
    template <std::size_t N>
    std::string_view pick(const std::string_view (&list)[N])
    {
        return list[below(static_cast<int>(N))];
    }

private:
    std::uint64_t state_;
};

constexpr std::string_view kFirstNames[] = {
    "José",    "María",   "Juan Carlos", "Ana Lucía", "Ángel",  "Luis",    "Carmen",  "Jesús",
    "Begoña",  "Íñigo",   "Mónica",      "Raúl",      "Sofía",  "Andrés",  "Inés",    "Joaquín",
    "Fátima",  "Nicolás", "Verónica",    "Óscar",     "Rocío",  "Germán",  "Marisol", "Francisco",
    "Lucía",   "Martín",  "Ramón",       "Patricia",  "Héctor", "Yolanda", "Gonzalo", "Nuria",
    "Agustín", "Belén",   "Sebastián",   "Elena",     "Tomás",  "Pilar",   "Iván",    "María José",
    "Ramiro",  "Úrsula",  "Émilie",      "François",  "Maite",  "Josué",   "Anaís",   "Benjamín",
};

constexpr std::string_view kSurnames[] = {
    "García",    "Rodríguez",  "González",   "Fernández", "López",        "Martínez",  "Sánchez",   "Pérez",
    "Gómez",     "Martín",     "Jiménez",    "Ruiz",      "Hernández",    "Díaz",      "Moreno",    "Muñoz",
    "Álvarez",   "Romero",     "Alonso",     "Gutiérrez", "Navarro",      "Torres",    "Domínguez", "Vázquez",
    "Ramos",     "Gil",        "Ramírez",    "Serrano",   "Blanco",       "Suárez",    "Molina",    "Castro",
    "Ortiz",     "Rubio",      "Núñez",      "Ibáñez",    "Peña",         "Ordóñez",   "Zúñiga",    "Montaño",
    "Cañete",    "Briceño",    "Güemes",     "Argüello",  "D'Alessandro", "O'Higgins", "O'Donnell", "D'Angelo",
    "Castañeda", "Echeverría", "Villalobos", "Aranguren", "Muñiz",        "Ñáñez",     "Gonçalves", "Fuenmayor",
};

constexpr std::string_view kStreets[] = {
    "Av. Bolívar",
    "Calle Real",
    "Av. Libertador",
    "Calle O'Higgins",
    "Paseo de la Castellana",
    "Calle Mayor",
    "Av. Francisco de Miranda",
    "Calle Núñez de Balboa",
    "Ronda de Atocha",
    "Calle de Alcalá",
    "Av. Andrés Bello",
    "Calle Peñalver",
    "Camino de Güímar",
    "Plaza de España",
    "Calle Cañaveral",
    "Av. Urdaneta",
    "Calle San Martín",
    "Av. de la Constitución",
    "Travesía del Niño",
    "Calle D'Annunzio",
};

constexpr std::string_view kSecondLines[] = {
    "Edif. Los Próceres, piso 4", "Urb. La Viña",     "Apto. 12-B",
    "Local 3, C.C. El Señorial",  "Qta. Mi Niña",     "Res. Altos de Cañada",
    "Torre Sur, ofic. 705",       "Sector La Peñita", "Casa nº 7",
    "Bloque 2, 1ª planta",
};

constexpr std::string_view kUsers[] = {"admin",  "mgarcia", "jperez",  "lrodriguez", "supervisor",
                                       "caja01", "ventas2", "aibanez", "rnunez",     "soporte"};

constexpr std::string_view kMailDomains[] = {"correo.es",   "mail.com",  "empresa.com.ve",
                                             "hotmail.com", "gmail.com", "telefonica.net"};

// Accented letters of the lists above, as they read in an e-mail address.
constexpr std::pair<std::string_view, char> kFolds[] = {
    {"á", 'a'}, {"é", 'e'}, {"í", 'i'}, {"ó", 'o'}, {"ú", 'u'}, {"ü", 'u'}, {"ñ", 'n'}, {"ç", 'c'},
    {"Á", 'a'}, {"É", 'e'}, {"Í", 'i'}, {"Ó", 'o'}, {"Ú", 'u'}, {"Ñ", 'n'}, {"ï", 'i'},
};

// "María José" -> "mariajose", "O'Higgins" -> "ohiggins".
std::string mailWord(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (std::isalnum(c))
                out += static_cast<char>(std::tolower(c));
            ++i;
            continue;
        }
        std::size_t len = 1;
        for (const auto& [from, to] : kFolds)
            if (s.substr(i, from.size()) == from) {
                out += to;
                len = from.size();
                break;
            }
        i += len;
    }
    return out;
}

// "Juan Carlos" -> "Juan": one name in an address.
std::string firstWord(std::string_view s) { return std::string(s.substr(0, s.find(' '))); }

template <typename... Args>
std::string format(const char* fmt, Args... args)
{
    char buf[96];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    return std::string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

struct Client {
    std::string code, name, surnames, address, address2;
    rt::Date registered;  // empty for some
    bool credit = false;
    char status = 'A';
    std::string user;
    rt::Date stamped;
    std::string time;
    std::string phone, email;
    long long limitCents = 0;
};

rt::Date randomDate(Rng& rng, rt::Date from, rt::Date to)
{
    return rt::Date{from.julian + rng.below(to.julian - from.julian + 1)};
}

Client makeClient(int n)
{
    Rng rng(kSeed ^ (static_cast<std::uint64_t>(n) * 0x100000001B3ull));
    Client c;
    c.code = format("%06d", n);
    c.name = std::string(rng.pick(kFirstNames));
    const std::string_view first = rng.pick(kSurnames);
    c.surnames = std::string(first) + " " + std::string(rng.pick(kSurnames));
    c.address = std::string(rng.pick(kStreets)) + format(" %d", 1 + rng.below(999));
    if (rng.percent(25))
        c.address += format(", %dº %c", 1 + rng.below(12), 'A' + rng.below(6));
    if (rng.percent(35))
        c.address2 = std::string(rng.pick(kSecondLines));
    static const rt::Date oldest = rt::makeDate(1995, 1, 1), newest = rt::makeDate(2024, 12, 31);
    if (!rng.percent(6))
        c.registered = randomDate(rng, oldest, newest);
    c.credit = rng.percent(70);
    // The values the client lookup's filter knows: N (normal) and C.
    c.status = rng.percent(88) ? 'N' : 'C';
    // The form's "@!" fields write capitals; a few clients keep the mixed
    // case another program typed, so searches meet both.
    if (!rng.percent(8)) {
        c.name = rt::upper(c.name);
        c.surnames = rt::upper(c.surnames);
        c.address = rt::upper(c.address);
        c.address2 = rt::upper(c.address2);
    }
    c.user = std::string(rng.pick(kUsers));
    c.stamped = c.registered.empty() ? randomDate(rng, oldest, newest)
                                     : rt::Date{std::min(c.registered.julian + rng.below(400), newest.julian)};
    // As the window writes it: 12-hour time, " 2:30:00 pm".
    c.time = rt::ampm(format("%02d:%02d:%02d", 7 + rng.below(13), rng.below(60), rng.below(60)));
    switch (rng.below(4)) {
    case 0: c.phone = format("(0212) %03d-%04d", rng.below(1000), rng.below(10000)); break;
    case 1: c.phone = format("+34 9%02d %03d %03d", rng.below(100), rng.below(1000), rng.below(1000)); break;
    case 2: c.phone = format("0414-%07d", rng.below(10000000)); break;
    default: break;  // no phone
    }
    if (!rng.percent(15))
        c.email = mailWord(firstWord(c.name)) + "." + mailWord(first) + format("%d", rng.below(100)) + "@" +
                  std::string(rng.pick(kMailDomains));
    if (!rng.percent(20))
        c.limitCents = 10000 + static_cast<long long>(rng.below(25000000));
    if (rng.percent(3))
        c.limitCents = -c.limitCents;  // a client in debt
    return c;
}

const std::vector<dbf::FieldSpec> kClientFields = {
    {"CODCLI", 'C', 6, 0},      {"NOMBRE", 'C', 30, 0},  {"APELL", 'C', 30, 0},     {"DIRECCION", 'C', 40, 0},
    {"DIRECCION2", 'C', 40, 0}, {"FECHING", 'D', 8, 0},  {"DATACREDIT", 'L', 1, 0}, {"ESTATUS", 'C', 1, 0},
    {"ID_USUARIO", 'C', 10, 0}, {"ID_FECHA", 'D', 8, 0}, {"ID_HORA", 'C', 11, 0},
};
const std::vector<dbf::FieldSpec> kExtraFields = {
    {"CODCLI", 'C', 6, 0}, {"TELEFONO", 'C', 15, 0}, {"EMAIL", 'C', 40, 0}, {"LIMITE", 'N', 12, 2}};

void putClient(dbf::Table& t, const Client& c)
{
    t.put(0, rt::Value(c.code));
    t.put(1, rt::Value(c.name));
    t.put(2, rt::Value(c.surnames));
    t.put(3, rt::Value(c.address));
    t.put(4, rt::Value(c.address2));
    t.put(5, rt::Value(c.registered));
    t.put(6, rt::Value(c.credit));
    t.put(7, rt::Value(std::string_view(&c.status, 1)));
    t.put(8, rt::Value(c.user));
    t.put(9, rt::Value(c.stamped));
    t.put(10, rt::Value(c.time));
}

void putExtra(dbf::Table& t, const Client& c)
{
    t.put(0, rt::Value(c.code));
    t.put(1, rt::Value(c.phone));
    t.put(2, rt::Value(c.email));
    t.put(3, rt::Value::number(static_cast<double>(c.limitCents) / 100.0, 2));
}

[[noreturn]] void failOn(const std::string& path, const std::string& what)
{
    rt::Error e(what, "sample");
    e.subsystem = "DBF";
    e.genCode = kErrCreate;
    e.filename = path;
    rt::raise(std::move(e));
}

// Entries of `dir` whose name is `name` in any letter case.
std::vector<fs::path> sameNameNoCase(const fs::path& dir, std::string_view name)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (rt::sameNameNoCase(e.path().filename().string(), name))
            found.push_back(e.path());
    return found;
}

// A table filled under a hidden name that no "*.DBF" listing sees, and
// removed unless committed, so a failed run never leaves a half table.
class PendingTable {
public:
    PendingTable(const fs::path& dir, const std::string& name) : target_(dir / name), temp_(dir / ("." + name + ".new"))
    {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
    ~PendingTable()
    {
        std::error_code ec;
        if (!committed_)
            fs::remove(temp_, ec);
    }
    PendingTable(const PendingTable&) = delete;
    PendingTable& operator=(const PendingTable&) = delete;

    [[nodiscard]] std::string tempPath() const { return temp_.string(); }

    // Moves the table into place; other spellings of its name and an index
    // left beside an earlier table of that name go, as they describe
    // another table.
    void commit()
    {
        const fs::path dir = target_.parent_path();
        const std::string name = target_.filename().string();
        const std::string index = name.substr(0, name.rfind('.')) + ".CDX";
        std::error_code ec;
        for (const std::string_view stale : {std::string_view(name), std::string_view(index)})
            for (const fs::path& p : sameNameNoCase(dir, stale))
                if (p.filename() != target_.filename() && !fs::remove(p, ec) && ec)
                    failOn(p.string(), "Cannot remove the file (" + ec.message() + ")");
        fs::rename(temp_, target_, ec);
        if (ec)
            failOn(target_.string(), "Cannot rename the new table into place (" + ec.message() + ")");
        committed_ = true;
    }

private:
    fs::path target_;
    fs::path temp_;
    bool committed_ = false;
};

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& words, std::string& error)
{
    Options o;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--force") {
            o.force = true;
        } else if (w == "--clients") {
            if (i + 1 == words.size()) {
                error = "--clients needs a number";
                return std::nullopt;
            }
            const std::string& v = words[++i];
            int n = 0;
            const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
            if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < 1 || n > kMaxClients) {
                error = "--clients takes a number from 1 to " + std::to_string(kMaxClients) + ", not '" + v + "'";
                return std::nullopt;
            }
            o.clients = n;
        } else if (!w.empty() && w[0] == '-') {
            error = "unknown option '" + w + "'";
            return std::nullopt;
        } else if (o.dir.empty()) {
            o.dir = w;
        } else {
            error = "sample takes one folder";
            return std::nullopt;
        }
    }
    if (o.dir.empty()) {
        error = "sample needs a folder";
        return std::nullopt;
    }
    return o;
}

std::vector<Written> writeSample(const Options& options)
{
    const fs::path dir(options.dir);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        failOn(options.dir, "Cannot create the folder (" + (ec ? ec.message() : "not a folder") + ")");
    const std::string names[] = {"DXCAM01.DBF", "DXCAM01E.DBF"};
    if (!options.force)
        for (const std::string& name : names)
            if (const auto found = sameNameNoCase(dir, name); !found.empty())
                failOn(found.front().string(), "Table exists (--force replaces it)");
    PendingTable clients(dir, names[0]), extras(dir, names[1]);
    dbf::Table::create(clients.tempPath(), kClientFields, dbf::Format::FoxPro, 850);
    dbf::Table::create(extras.tempPath(), kExtraFields, dbf::Format::FoxPro, 850);
    {
        const auto clientTable = dbf::Table::open(clients.tempPath(), false, false);
        const auto extraTable = dbf::Table::open(extras.tempPath(), false, false);
        for (int n = 1; n <= options.clients; ++n) {
            const Client c = makeClient(n);
            clientTable->appendBlank();
            putClient(*clientTable, c);
            extraTable->appendBlank();
            putExtra(*extraTable, c);
        }
        clientTable->flush();
        extraTable->flush();
    }
    clients.commit();
    extras.commit();
    const auto count = static_cast<std::uint32_t>(options.clients);
    return {{(dir / names[0]).string(), count, kClientFields.size()},
            {(dir / names[1]).string(), count, kExtraFields.size()}};
}

}  // namespace sample
