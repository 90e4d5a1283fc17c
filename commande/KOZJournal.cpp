#include "commande/KOZJournal.hpp"

#include <ctime>

#include "commande/KOZTransaction.hpp"
#include "platform/Format.hpp"
#include "platform/KOZErreur.hpp"
#include "platform/Plateforme.hpp"

namespace {
constexpr uint64_t kLectureMax = 64ull << 20;

std::string Echapper(const std::string& s) {
    std::string r;
    for (unsigned char c : s) {
        if (c < 0x20 || c == '%' || c == 0x7F)
            r += Format("%%%02X", c);
        else
            r += char(c);
    }
    return r;
}

std::optional<std::string> Deschapper(const std::string& s) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            r += s[i];
            continue;
        }
        auto chiffre = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            return -1;
        };
        if (i + 2 >= s.size()) return std::nullopt;
        const int h = chiffre(s[i + 1]), l = chiffre(s[i + 2]);
        if (h < 0 || l < 0) return std::nullopt;
        r += char(h * 16 + l);
        i += 2;
    }
    return r;
}

bool Hex64(const std::string& s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::optional<uint64_t> Nombre(const std::string& s) {
    if (s.empty() || s.size() > 19) return std::nullopt;
    uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + uint64_t(c - '0');
    }
    return n;
}
}  // namespace

std::string LigneJournal(const TEnregistrement& e) {
    return e.Date + "\t" + e.EmpreinteChiffre + "\t" + std::to_string(e.TailleChiffre) + "\t" +
           std::to_string(e.TailleClair) + "\t" + e.EmpreinteDepart + "\t" + Echapper(e.TrioDepart) + "\t" +
           e.EmpreinteFin + "\t" + Echapper(e.Nom);
}

std::optional<TEnregistrement> LireLigneJournal(const std::string& ligne) {
    std::vector<std::string> champs;
    size_t i = 0;
    for (;;) {
        const size_t tab = ligne.find('\t', i);
        champs.push_back(ligne.substr(i, tab == std::string::npos ? std::string::npos : tab - i));
        if (tab == std::string::npos) break;
        i = tab + 1;
    }
    if (champs.size() != 8) return std::nullopt;
    TEnregistrement e;
    e.Date = champs[0];
    const auto tc = Nombre(champs[2]), tl = Nombre(champs[3]);
    const auto trio = Deschapper(champs[5]), nom = Deschapper(champs[7]);
    if (e.Date.empty() || !Hex64(champs[1]) || !tc || !tl || !Hex64(champs[4]) || !trio || !Hex64(champs[6]) || !nom ||
        nom->empty())
        return std::nullopt;
    e.EmpreinteChiffre = champs[1];
    e.TailleChiffre = *tc;
    e.TailleClair = *tl;
    e.EmpreinteDepart = champs[4];
    e.TrioDepart = *trio;
    e.EmpreinteFin = champs[6];
    e.Nom = *nom;
    return e;
}

namespace {
// The first kLectureMax bytes of the journal of dir, or nothing.
std::optional<std::string> Contenu(const std::string& dir) {
    try {
        auto flux = Plateforme().OuvrirLecture(dir + kNomJournal);
        std::string texte;
        std::string tampon(1 << 16, '\0');
        while (texte.size() < kLectureMax) {
            const size_t k = flux->Lire(reinterpret_cast<uint8_t*>(tampon.data()), tampon.size());
            if (k == 0) break;
            texte.append(tampon, 0, k);
        }
        return texte;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
}  // namespace

std::vector<TEnregistrement> LireJournal(const std::string& dir) {
    std::vector<TEnregistrement> resultat;
    const auto texte = Contenu(dir);
    if (!texte) return resultat;
    size_t i = 0;
    bool premiere = true;
    while (i < texte->size()) {
        size_t fin = texte->find('\n', i);
        if (fin == std::string::npos) fin = texte->size();
        std::string ligne = texte->substr(i, fin - i);
        if (!ligne.empty() && ligne.back() == '\r') ligne.pop_back();
        i = fin + 1;
        if (premiere) {
            premiere = false;
            // A journal of another version is not read at all.
            if (ligne.rfind("KOZ-JOURNAL ", 0) == 0 && ligne != kEnteteJournal) return resultat;
            if (ligne == kEnteteJournal) continue;
        }
        if (auto e = LireLigneJournal(ligne)) resultat.push_back(std::move(*e));
    }
    return resultat;
}

void AjouterAuJournal(const std::string& dir, const std::vector<TEnregistrement>& nouveaux) {
    const std::string nom = dir + kNomJournal;
    std::string texte;
    if (Plateforme().IdentiteDe(nom)) {
        auto flux = Plateforme().OuvrirLecture(nom);
        if (flux->Taille() > kLectureMax)
            throw EKOZException(Format("Le journal \"%s\" dépasse %d Mio : il n'est plus complété",
                                       Plateforme().CheminComplet(nom).c_str(), int(kLectureMax >> 20)));
        std::string tampon(1 << 16, '\0');
        for (;;) {
            const size_t k = flux->Lire(reinterpret_cast<uint8_t*>(tampon.data()), tampon.size());
            if (k == 0) break;
            texte.append(tampon, 0, k);
        }
    }
    // Records added to a journal of a version this program does not know
    // would be read by nobody.
    if (texte.rfind("KOZ-JOURNAL ", 0) == 0 && texte.substr(0, texte.find('\n')) != kEnteteJournal)
        throw EKOZException(Format("Le journal \"%s\" est d'une autre version : il n'est pas complété",
                                   Plateforme().CheminComplet(nom).c_str()));
    if (texte.empty()) texte = std::string(kEnteteJournal) + "\n";
    if (texte.back() != '\n') texte += '\n';
    for (const auto& e : nouveaux) texte += LigneJournal(e) + "\n";
    TTransaction t;
    t.NouveauFichier(nom, TGenreFichier::Donnees, true).Ecrire(reinterpret_cast<const uint8_t*>(texte.data()), texte.size());
    t.Valider();
}

std::string DateIso(int64_t secondes) {
    const time_t t = time_t(secondes);
    struct tm tm {};
    gmtime_r(&t, &tm);
    char texte[32];
    std::strftime(texte, sizeof texte, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return texte;
}

std::string NomDansJournal(const std::string& dir, const std::string& chiffre) {
    const std::string complet = Plateforme().CheminComplet(chiffre);
    const std::string base = Plateforme().CheminComplet(dir);
    if (!base.empty() && complet.size() > base.size() && complet.compare(0, base.size(), base) == 0 &&
        complet.find('/', base.size()) == std::string::npos)
        return complet.substr(base.size());
    return complet;
}

std::string CheminDuJournal(const std::string& dir, const std::string& nom) {
    if (!nom.empty() && nom[0] == '/') return nom;
    return dir + nom;
}
