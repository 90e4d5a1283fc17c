#include "commande/TextesApplication.hpp"
#include "commande/KOZJournal.hpp"
#include "commande/KOZNoms.hpp"
#include "commande/KOZArchive.hpp"
#include "fuzz/CiblesFuzz.hpp"

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "random/KOZTools.hpp"
#include "state/KOZGrille.hpp"
#include "tests/support/PlateformeMemoire.hpp"
#include "commande/NomFichier.hpp"
#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"
#include "platform/Format.hpp"

namespace {

// The generator words of one input: splitmix64 from a seed the input gives.
// While a scripted word is queued it comes first (to make an encoder draw
// what the oracle asks for).
class TMots : public TSourceMots {
public:
    explicit TMots(uint64_t graine) : Etat(graine) { Precedente = DefinirSourceMots(this); }
    ~TMots() override { DefinirSourceMots(Precedente); }
    TMots(const TMots&) = delete;
    TMots& operator=(const TMots&) = delete;

    uint32_t Mot() override {
        if (Lus < Scriptes) return Script[Lus++];
        return uint32_t(Suivant() >> 32);
    }
    void Scripter(std::initializer_list<uint32_t> mots) {
        Scriptes = 0;
        Lus = 0;
        for (uint32_t m : mots) Script[Scriptes++] = m;
    }
    uint64_t Suivant() {
        uint64_t z = (Etat += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint32_t Script[4] = {};
    size_t Scriptes = 0, Lus = 0;
    uint64_t Etat;
    TSourceMots* Precedente;
};

// Reads an input from the front; past its end every read gives zeros.
class TEntree {
public:
    TEntree(const uint8_t* d, size_t n) : D(d), N(n) {}
    uint8_t Octet() { return I < N ? D[I++] : 0; }
    uint16_t Mot16() { return uint16_t(Octet() | (Octet() << 8)); }
    uint64_t Mot64() {
        uint64_t v = 0;
        for (int k = 0; k < 8; ++k) v |= uint64_t(Octet()) << (8 * k);
        return v;
    }
    std::string Prendre(size_t k) {
        k = std::min(k, N - I);
        std::string s(reinterpret_cast<const char*>(D + I), k);
        I += k;
        return s;
    }
    std::string Reste() { return Prendre(N - I); }

private:
    const uint8_t* D;
    size_t N;
    size_t I = 0;
};

std::string Hex(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string h;
    for (unsigned char c : s) {
        h += kHex[c >> 4];
        h += kHex[c & 15];
    }
    return h;
}

bool EstPermutation(const uint8_t* cases) {
    bool vu[256] = {};
    for (int i = 0; i < 256; ++i) {
        if (vu[cases[i]]) return false;
        vu[cases[i]] = true;
    }
    return true;
}

// The failure text of a check of the grid, or empty.
std::string Verification(const TKOZGrille& g) {
    try {
        g.Verifier();
    } catch (const EKOZException& e) {
        return e.what();
    }
    return {};
}

// Position and its plain search agree for every value, and the cell found
// holds the value: the inverse table is in step with the cells.
std::string VerifierPositions(const TKOZGrille& g) {
    for (int v = 0; v < 256; ++v) {
        const uint8_t p = g.Position(uint8_t(v));
        if (p != g.PositionLineaire(uint8_t(v)) || g.Cases()[p] != v)
            return "Position(" + std::to_string(v) + ") ne correspond pas aux cases";
    }
    return {};
}

// ---------------------------------------------------------------- state trio

// The evolution as the cipher's description states it, written plainly: the
// lowest cell holding v exchanged with the table's cell, then the segments'
// cells exchanged pairwise, each address computed from its formula.
struct TModele {
    uint8_t Cases[256];
    uint8_t Echange[256];
    uint8_t Permutations[1792];

    static uint8_t Adresse(uint8_t i, const uint8_t* seg) {
        const uint8_t sens = seg[0], rang = seg[1], debut = seg[2];
        if (sens == 0) return uint8_t(rang * 16 + debut + i);
        if (sens == 1) return uint8_t(uint8_t(debut + i) * 16 + rang);
        return 0;
    }
    void Echanger(uint8_t a, uint8_t b) { std::swap(Cases[a], Cases[b]); }
    // False when v is in no cell (nothing is changed then).
    bool Evoluer(uint8_t v) {
        int p = 0;
        while (p < 256 && Cases[p] != v) ++p;
        if (p == 256) return false;
        Echanger(uint8_t(p), Echange[v]);
        const uint8_t* t = Permutations + 7 * v;
        for (int i = 0; i < t[6]; ++i) Echanger(Adresse(uint8_t(i), t), Adresse(uint8_t(i), t + 3));
        return true;
    }
};

std::string TablesEn(const TKOZGrille& g) {
    std::string s(reinterpret_cast<const char*>(g.Cases().data()), 256);
    s.append(reinterpret_cast<const char*>(g.Echange->Table.data()), 256);
    s.append(reinterpret_cast<const char*>(g.Permutations->Table.data()), 1792);
    return s;
}

// A permutation of 0..255 shuffled by the given bytes (Fisher-Yates; missing
// bytes count as 0).
std::string PermutationDe(const std::string& octets) {
    std::string p(256, '\0');
    for (int i = 0; i < 256; ++i) p[i] = char(i);
    for (int i = 255, k = 0; i > 0; --i, ++k) {
        const int j = k < int(octets.size()) ? static_cast<unsigned char>(octets[k]) % (i + 1) : 0;
        std::swap(p[i], p[j]);
    }
    return p;
}

}  // namespace

std::string EssaiEtat(const uint8_t* octets, size_t taille) {
    enum : uint8_t {
        kSansGrille = 0x01,
        kSansEchange = 0x02,
        kSansPermutations = 0x04,
        kGrilleRepertoire = 0x08,
        kGrillePermutee = 0x10,
        kSecurise = 0x20,
    };
    TEntree in(octets, taille);
    const uint8_t drapeaux = in.Octet();
    const size_t lGrille = in.Mot16(), lEchange = in.Mot16();
    std::string kgr = in.Prendre(lGrille), kec = in.Prendre(lEchange), kpr = in.Reste();
    if (drapeaux & kGrillePermutee) kgr = PermutationDe(kgr) + (kgr.size() > 256 ? kgr.substr(256) : "");

    TMots mots(0x4B4F5A00u + taille);
    TPlateformeMemoire disque;
    const std::string dir = "/etats/", nom = "ESSAI";
    const std::string nGrille = dir + nom + ".KGR", nEchange = dir + nom + ".KEC", nPerm = dir + nom + ".KPR";
    if (!(drapeaux & kSansGrille)) disque.Poser(nGrille, kgr);
    if (drapeaux & kGrilleRepertoire) disque.Repertoires.insert(nGrille);
    if (!(drapeaux & kSansEchange)) disque.Poser(nEchange, kec);
    if (!(drapeaux & kSansPermutations)) disque.Poser(nPerm, kpr);

    TKOZGrille g;
    const std::string avant = TablesEn(g);
    std::string erreur;
    try {
        g.Charger(dir, nom);
    } catch (const EKOZException& e) {
        erreur = e.what();
    }

    // What the loader must have said, file by file in the trio's order.
    auto trop = [&](const std::string& n, size_t lu, size_t voulu) {
        return Format("Le fichier d'état \"%s\" est trop court : %d octets au lieu de %d", n.c_str(), int(lu),
                      int(voulu));
    };
    std::string attendu;
    bool prefixe = false;  // the grid's message is checked by its beginning
    std::string apres = avant;
    auto etape = [&](bool absent, bool repertoire, const std::string& n, const std::string& contenu, size_t debut,
                     size_t longueur) {
        if (!attendu.empty()) return false;
        if (repertoire) attendu = MessageOuverture(n, TexteErreur(EISDIR));
        else if (absent) attendu = MessageOuverture(n, TexteErreur(ENOENT));
        else if (contenu.size() < longueur) attendu = trop(n, contenu.size(), longueur);
        else apres.replace(debut, longueur, contenu, 0, longueur);
        return attendu.empty();
    };
    if (etape(drapeaux & kSansGrille, drapeaux & kGrilleRepertoire, nGrille, kgr, 0, 256) &&
        !EstPermutation(reinterpret_cast<const uint8_t*>(apres.data()))) {
        attendu = "La grille n'est plus valide\r\n\r\n";
        prefixe = true;
    }
    etape(drapeaux & kSansEchange, false, nEchange, kec, 256, 256);
    etape(drapeaux & kSansPermutations, false, nPerm, kpr, 512, 1792);

    if (prefixe ? erreur.compare(0, attendu.size(), attendu) != 0 : erreur != attendu)
        return "chargement : « " + erreur + " » au lieu de « " + attendu + " »";
    if (TablesEn(g) != apres) return "chargement : les tables ne sont pas celles des fichiers lus";
    const bool permutation = EstPermutation(g.Cases().data());
    if (permutation) {
        if (auto e = Verification(g); !e.empty()) return "une permutation refusée : " + e;
        if (auto e = VerifierPositions(g); !e.empty()) return "après chargement : " + e;
    } else if (Verification(g).empty()) {
        return "une grille qui n'est pas une permutation acceptée";
    }

    // The state evolves over the first bytes of the input, beside the model.
    TModele m;
    std::memcpy(m.Cases, g.Cases().data(), 256);
    std::memcpy(m.Echange, g.Echange->Table.data(), 256);
    std::memcpy(m.Permutations, g.Permutations->Table.data(), 1792);
    g.ModeSecurise = (drapeaux & kSecurise) != 0;
    for (size_t k = 0; k < std::min<size_t>(taille, 24); ++k) {
        const uint8_t v = octets[k];
        std::string e;
        try {
            g.Evoluer(v);
        } catch (const EKOZException& x) {
            e = x.what();
        }
        const bool trouve = m.Evoluer(v);
        if (!trouve) {
            if (e != "La valeur cherchée n'est pas dans la grille")
                return "valeur absente : « " + e + " »";
            if (std::memcmp(g.Cases().data(), m.Cases, 256) != 0) return "valeur absente : la grille a changé";
            break;
        }
        if (std::memcmp(g.Cases().data(), m.Cases, 256) != 0)
            return "l'évolution après " + std::to_string(v) + " diffère du modèle";
        if (!e.empty() && !(g.ModeSecurise && !permutation && e.rfind("La grille n'est plus valide", 0) == 0))
            return "évolution : « " + e + " »";
        if (e.empty() && g.ModeSecurise && !permutation) return "mode sécurisé : grille invalide acceptée";
        if (!e.empty()) break;
    }
    if (permutation) {
        if (auto e = Verification(g); !e.empty()) return "l'évolution a cassé la permutation : " + e;
        if (auto e = VerifierPositions(g); !e.empty()) return "après évolution : " + e;
    }

    // Saved back, the trio holds the tables byte for byte, as key files.
    g.Sauver("/sortie/", "FIN");
    const std::string tables = TablesEn(g);
    const std::string* f[3] = {disque.Contenu("/sortie/FIN.KGR"), disque.Contenu("/sortie/FIN.KEC"),
                               disque.Contenu("/sortie/FIN.KPR")};
    if (!f[0] || !f[1] || !f[2]) return "sauvegarde : trio incomplet";
    if (*f[0] + *f[1] + *f[2] != tables) return "sauvegarde : contenu différent des tables";
    for (const char* ext : {".KGR", ".KEC", ".KPR"})
        if (disque.Fichiers["/sortie/FIN" + std::string(ext)].Genre != TGenreFichier::Cle)
            return "sauvegarde : fichier d'état écrit comme fichier de données";
    return {};
}

// ---------------------------------------------------------------- decryption

namespace {

// An encrypted stream handed out in small pieces, so that blocks straddle
// the reads.
class TLectureMorcelee : public TFluxLecture {
public:
    TLectureMorcelee(const std::string& d, uint64_t motif) : Donnees(d), Motif(motif) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        size_t k = 1 + size_t((Motif >> (3 * (Appels++ % 21))) & 7);
        k = std::min({k, n, Donnees.size() - Lu});
        std::memcpy(tampon, Donnees.data() + Lu, k);
        Lu += k;
        return k;
    }
    uint64_t Taille() const override { return Donnees.size(); }

private:
    const std::string& Donnees;
    uint64_t Motif;
    size_t Lu = 0;
    unsigned Appels = 0;
};

struct TBlocFixe {
    uint8_t Longueur;
    uint8_t Octets[4];
};

// Every block the five encoders can make for v on g's grid that starts with
// the byte premier, by running each encoder under every draw it can take.
// The two-draw encoders place their first byte by their first draw, so the
// second is only varied when the first byte fits.
void BlocsPossibles(TKOZChiffre& g, TMots& mots, uint8_t v, uint8_t premier, std::vector<TBlocFixe>& blocs) {
    blocs.clear();
    TBlocChiffre b;
    b.reserve(4);
    auto essayer = [&](TKOZChiffre::TCodage codage, std::initializer_list<uint32_t> tirages) {
        mots.Scripter(tirages);
        (g.*codage)(v, b);
        mots.Scripter({});
        if (b[0] != premier) return false;
        TBlocFixe f{uint8_t(b.size()), {}};
        std::memcpy(f.Octets, b.data(), b.size());
        blocs.push_back(f);
        return true;
    };
    for (uint32_t a = 0; a < 14; ++a)
        if (essayer(&TKOZChiffre::CodageCroix, {a, 0}))
            for (uint32_t c = 1; c < 14; ++c) essayer(&TKOZChiffre::CodageCroix, {a, c});
    for (uint32_t a = 0; a < 13; ++a)
        if (essayer(&TKOZChiffre::CodageCroixDouble, {a, 0}))
            for (uint32_t c = 1; c < 13; ++c) essayer(&TKOZChiffre::CodageCroixDouble, {a, c});
    for (uint32_t s = 0; s < 2; ++s)
        for (uint32_t t = 0; t < 2; ++t) essayer(&TKOZChiffre::CodageVoisins, {s, t});
    // The second pick comes from the pair the first did not take.
    for (uint32_t p = 0; p < 4; ++p)
        for (uint32_t q : (p < 2 ? std::array<uint32_t, 2>{2, 3} : std::array<uint32_t, 2>{0, 1}))
            for (uint32_t s = 0; s < 2; ++s) essayer(&TKOZChiffre::CodageVoisinsDoubles, {p, q, s});
    for (uint32_t s = 0; s < 2; ++s) essayer(&TKOZChiffre::CodageSuite, {s});
}

// What the block rule must answer for o[0..n): the block and its byte when
// an encoder's block is a prefix of o; incomplete when o is a proper prefix
// of one; invalid otherwise. Only values on the row or column of o[0]'s cell
// can start a block with o[0]. Sets ambigu when two blocks of the encoders
// would make the file unreadable (one the start of another, or one block for
// two plain bytes).
int Oracle(TKOZChiffre& g, TMots& mots, const uint8_t* o, size_t n, uint8_t& v, std::string& ambigu) {
    static std::vector<TBlocFixe> blocs;
    const uint8_t q = g.Position(o[0]);
    int verdict = TKOZDechiffre::kBlocInvalide;
    bool plusLong = false;
    for (int w = 0; w < 256; ++w) {
        const uint8_t p = g.Position(uint8_t(w));
        if ((p >> 4) != (q >> 4) && (p & 15) != (q & 15)) continue;
        BlocsPossibles(g, mots, uint8_t(w), o[0], blocs);
        for (const auto& b : blocs) {
            const size_t k = std::min<size_t>(n, b.Longueur);
            if (std::memcmp(b.Octets, o, k) != 0) continue;
            if (b.Longueur <= n) {
                if (verdict > 0 && (verdict != b.Longueur || v != w))
                    ambigu = "un même bloc pour " + std::to_string(v) + " et " + std::to_string(w);
                verdict = b.Longueur;
                v = uint8_t(w);
            } else {
                plusLong = true;
            }
        }
    }
    if (verdict > 0 && plusLong) ambigu = "un bloc est le début d'un autre";
    if (verdict == TKOZDechiffre::kBlocInvalide && plusLong) verdict = TKOZDechiffre::kBlocIncomplet;
    return verdict;
}

}  // namespace

std::string EssaiDechiffrement(const uint8_t* octets, size_t taille) {
    enum : uint8_t {
        kEchangeQuelconque = 0x01,     // exchange table from raw words, not a permutation
        kPermutationsQuelconques = 0x02,  // permutation entries of any bytes (odd Sens, Longueur)
        kSecurise = 0x04,
        kGrilleIdentite = 0x08,
        kPositions = 0x10,  // the encrypted bytes name cells: each becomes the value in that cell
        kGrilleCassee = 0x20,
    };
    TEntree in(octets, taille);
    const uint8_t drapeaux = in.Octet();
    const uint64_t graine = in.Mot64();
    const std::string corps = in.Reste();

    TMots mots(graine);
    TPlateformeMemoire disque;

    // The starting state.
    TKOZChiffre etat;
    TKOZGrille::TCases cases;
    for (int i = 0; i < 256; ++i) cases[i] = uint8_t(i);
    if (!(drapeaux & kGrilleIdentite))
        for (int i = 255; i > 0; --i) std::swap(cases[i], cases[mots.Suivant() % uint64_t(i + 1)]);
    if (drapeaux & kEchangeQuelconque)
        for (auto& e : etat.Echange->Table) e = uint8_t(mots.Suivant());
    if (drapeaux & kPermutationsQuelconques) {
        auto* p = reinterpret_cast<uint8_t*>(etat.Permutations->Table.data());
        for (size_t i = 0; i < 1792; ++i) {
            const uint64_t r = mots.Suivant();
            // Mostly near the generated ranges, sometimes anything.
            p[i] = (r & 3) == 0 ? uint8_t(r >> 8) : uint8_t((r >> 8) % ((i % 7 == 0 || i % 7 == 3) ? 3 : 17));
        }
    }
    if (drapeaux & kGrilleCassee) {
        cases[uint8_t(graine)] = cases[uint8_t(graine + 1)];
        etat.DefinirCases(cases);
        try {
            TKOZDechiffre d(etat);
        } catch (const EKOZException& e) {
            if (std::string(e.what()).rfind("La grille n'est plus valide\r\n\r\n", 0) == 0) return {};
            return std::string("grille cassée : « ") + e.what() + " »";
        }
        return "un déchiffreur accepte une grille qui n'est pas une permutation";
    }
    etat.DefinirCases(cases);
    etat.ModeSecurise = (drapeaux & kSecurise) != 0;

    // Block by block through the block rule, with the oracle on the first blocks.
    TKOZDechiffre ref(etat);
    ref.ModeSecurise = etat.ModeSecurise;
    TKOZChiffre modele;  // the encoders, on ref's grid
    std::string chiffre, clair;
    bool invalide = false;
    size_t offsetInvalide = 0;
    size_t i = 0;
    for (int nBloc = 0; i < corps.size(); ++nBloc) {
        uint8_t bloc[4];
        size_t n = 0;
        uint8_t v = 0;
        int r = TKOZDechiffre::kBlocIncomplet;
        const size_t debut = chiffre.size();
        while (i < corps.size() && n < 4) {
            const uint8_t b = uint8_t(corps[i++]);
            bloc[n++] = (drapeaux & kPositions) ? ref.Cases()[b] : b;
            chiffre += char(bloc[n - 1]);
            r = ref.DechiffrerBloc(bloc, n, v);
            if (r != TKOZDechiffre::kBlocIncomplet) break;
        }
        if (r == TKOZDechiffre::kBlocIncomplet && n == 4) return "bloc de 4 octets encore incomplet";
        if (r > 0 && size_t(r) != n) return "bloc de " + std::to_string(r) + " reconnu après " + std::to_string(n) + " octets";
        if (r > 0) {
            // The answer does not depend on the bytes after the block.
            uint8_t plus[4], w = 0;
            std::memcpy(plus, bloc, n);
            for (size_t k = n; k < 4; ++k) plus[k] = uint8_t(corps[(i + k) % corps.size()] ^ 0x5A);
            if (ref.DechiffrerBloc(plus, 4, w) != r || w != v) return "le bloc dépend des octets qui le suivent";
        }
        if (nBloc < 2) {
            modele.DefinirCases(ref.Cases());
            uint8_t vo = 0;
            std::string ambigu;
            const int ro = Oracle(modele, mots, bloc, n, vo, ambigu);
            if (!ambigu.empty()) return ambigu;
            if (ro != r || (r > 0 && vo != v))
                return "bloc " + Hex(std::string(reinterpret_cast<char*>(bloc), n)) + " : la règle dit " +
                       std::to_string(r) + "/" + std::to_string(v) + ", les encodeurs " + std::to_string(ro) + "/" +
                       std::to_string(vo);
        }
        if (r <= 0) {
            invalide = true;
            offsetInvalide = debut;
            break;
        }
        try {
            ref.Evoluer(v);
        } catch (const EKOZException& e) {
            return std::string("évolution pendant le déchiffrement : ") + e.what();
        }
        clair += char(v);
    }
    if (auto e = Verification(ref); !e.empty()) return "déchiffrement : la grille n'est plus une permutation : " + e;

    // The stream, read in small pieces, gives the same bytes and the same verdict.
    {
        TKOZDechiffre d(etat);
        d.ModeSecurise = etat.ModeSecurise;
        TLectureMorcelee source(chiffre, graine);
        TFluxMemoireEcriture sortie;
        std::string erreur;
        try {
            d.DechiffrerFlux(source, sortie, "/essai.KOZ");
        } catch (const EKOZException& e) {
            erreur = e.what();
        }
        const std::string attendu =
            invalide ? Format("Le fichier chiffré \"/essai.KOZ\" est invalide à l'octet %zu", offsetInvalide) : "";
        if (erreur != attendu) return "flux : « " + erreur + " » au lieu de « " + attendu + " »";
        if (sortie.Contenu != clair) return "flux : octets déchiffrés différents";
        if (!EtatsEgaux(d, ref)) return "flux : état atteint différent";
    }

    // Round trip: the body encrypted from the starting state reads back.
    {
        TKOZChiffre c;
        c.DefinirCases(etat.Cases());
        c.Echange->Table = etat.Echange->Table;
        c.Permutations->Table = etat.Permutations->Table;
        c.ModeSecurise = etat.ModeSecurise;
        TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(corps.data()), corps.size());
        TFluxMemoireEcriture code;
        c.ChiffrerFlux(source, code);
        if (code.Contenu.size() < 2 * corps.size() || code.Contenu.size() > 4 * corps.size())
            return "chiffrement : taille hors de 2n..4n";
        TKOZDechiffre d(etat);
        TLectureMorcelee lu(code.Contenu, ~graine);
        TFluxMemoireEcriture retour;
        try {
            d.DechiffrerFlux(lu, retour, "/aller-retour.KOZ");
        } catch (const EKOZException& e) {
            return std::string("aller-retour : ") + e.what();
        }
        if (retour.Contenu != corps) return "aller-retour : octets différents";
        if (!EtatsEgaux(c, d)) return "aller-retour : état atteint différent de celui du chiffrement";
    }
    return {};
}

// ---------------------------------------------------------------- names

namespace {

bool FinitPar(const std::string& s, const std::string& fin) {
    return s.size() >= fin.size() && s.compare(s.size() - fin.size(), fin.size(), fin) == 0;
}

std::string Vocabulaire(const std::string& x) {
    const std::string chemin = PartieChemin(x), nom = PartieNom(x), ext = Extension(x);
    if (chemin + nom != x) return "PartieChemin + PartieNom différent du nom";
    if (!chemin.empty() && chemin.back() != '/') return "PartieChemin ne finit pas par /";
    if (nom.find('/') != std::string::npos) return "PartieNom contient /";
    if (!FinitPar(nom, ext)) return "Extension n'est pas une fin de PartieNom";
    if (!ext.empty() && (ext[0] != '.' || ext.find('.', 1) != std::string::npos))
        return "Extension ne part pas du dernier point";
    if (ext.empty() && nom.find('.') != std::string::npos) return "Extension vide malgré un point";
    if (NomDeBase(x) + ext != nom) return "NomDeBase + Extension différent de PartieNom";

    const std::string chiffre = NomChiffrePropose(x);
    // A folder keeps its whole name, without its final "/"; "." and ".."
    // are named by the folder they stand for, beside it, never inside it.
    if (!x.empty() && Plateforme().RepertoireExiste(x)) {
        const std::string dossier = SansBarreFinale(x);
        if (PartieNom(dossier) == "." || PartieNom(dossier) == "..") {
            const std::string reel = NormaliserChemin(Plateforme().CheminComplet(x), false);
            if (chiffre != SansBarreFinale(reel) + ".KOZ" || PartieNom(chiffre) == "..KOZ" ||
                PartieNom(chiffre) == "...KOZ")
                return "NomChiffrePropose de . ou .. : " + chiffre;
            return {};
        }
        if (chiffre != dossier + ".KOZ") return "NomChiffrePropose d'un dossier : " + chiffre;
        return {};
    }
    if (chiffre != x.substr(0, x.size() - ext.size()) + ".KOZ") return "NomChiffrePropose : " + chiffre;
    if (Extension(chiffre) != ".KOZ" || PartieChemin(chiffre) != chemin)
        return "NomChiffrePropose change de répertoire ou d'extension";

    const std::string clair = NomDechiffrePropose(x);
    if (x.empty()) {
        if (!clair.empty()) return "NomDechiffrePropose d'un nom vide";
    } else {
        if (clair == x) return "NomDechiffrePropose rend le nom chiffré lui-même";
        if (PartieNom(clair).empty()) return "NomDechiffrePropose rend un répertoire";
        if (clair != x.substr(0, x.size() - ext.size()) && clair != x + ".dechiffre")
            return "NomDechiffrePropose : " + clair;
        if (PartieChemin(clair) != chemin) return "NomDechiffrePropose change de répertoire";
    }
    // A name proposed for the encrypted file of x decrypts back to x's stem.
    if (NomDechiffrePropose(chiffre) != x.substr(0, x.size() - ext.size()) &&
        PartieNom(x.substr(0, x.size() - ext.size())).size() > 0)
        return "NomDechiffrePropose(NomChiffrePropose(x)) : " + NomDechiffrePropose(chiffre);
    return {};
}

std::string Champ(TPlateformeMemoire& disque, const std::string& texte, const std::string& autre) {
    // The getter: texte is no file here, so its name is the trimmed, unquoted text.
    const std::string nom = FormeObtenue(texte);
    if (nom != NomDuTexte(texte)) return "FormeObtenue d'un texte qui n'est pas un fichier";
    if (texte.find(nom) == std::string::npos) return "le nom lu n'est pas dans le texte";

    // A valid name, as the getter gives names (trimmed, unquoted), reads back
    // from the text the field shows for it.
    if (NomFichierValide(texte) && NomDuTexte(texte) == texte && FormeObtenue(TexteDuNom(texte)) != texte)
        return "le nom affiché ne se relit pas : « " + TexteDuNom(texte) + " »";

    // One reading: the destination proposed from the name, once shown, reads
    // back as exactly that proposal, so a run of each field uses what the user
    // sees proposed. A text that begins (after blanks and empty pairs) with a
    // quote never leaves a quote in its name.
    const std::string propose = NomChiffrePropose(nom);
    if (NomFichierValide(propose)) {
        if (FormeObtenue(TexteDuNomPropose(propose)) != propose)
            return "la proposition ne se relit pas : « " + TexteDuNomPropose(propose) + " »";
    } else {
        try {
            TexteDuNomPropose(propose);
            return "TexteDuNomPropose accepte un nom invalide";
        } catch (const EKOZException&) {
        }
    }
    {
        size_t i = 0;
        for (;;) {
            while (i < texte.size() && static_cast<unsigned char>(texte[i]) <= ' ') ++i;
            if (texte.compare(i, 2, "\"\"") != 0) break;
            i += 2;
        }
        if (i < texte.size() && texte[i] == '"' && nom.find('"') != std::string::npos)
            return "un nom entre guillemets garde un guillemet";
    }

    // The setter's check refuses exactly the invalid getter forms, naming the text unchanged.
    bool refuse = false;
    try {
        VerifierNomFichier(texte);
    } catch (const EKOZException& e) {
        refuse = true;
        if (e.what() != "Nom de fichier incorrect - " + texte) return std::string("message : ") + e.what();
    }
    if (refuse != (!texte.empty() && !NomFichierValide(nom))) return "VerifierNomFichier";

    // The browse preparation keeps both settings for an invalid name.
    const TPreparationParcours p = PreparerParcours(texte, autre, "propose");
    if (!NomFichierValide(nom)) {
        if (p.Repertoire != autre || p.Nom != "propose") return "PreparerParcours change sur un nom invalide";
    } else {
        if (p.Repertoire != autre && p.Repertoire != PartieChemin(nom)) return "PreparerParcours : répertoire";
        if (p.Nom != nom && !p.Nom.empty()) return "PreparerParcours : nom";
    }

    // An existing file's text is its name, unchanged.
    if (!autre.empty()) {
        disque.Poser(autre, {});
        if (FormeObtenue(autre) != autre) return "FormeObtenue d'un fichier existant";
        disque.Fichiers.erase(autre);
    }

    const std::string affiche = TexteAffiche(texte);
    const bool point = !texte.empty() && static_cast<unsigned char>(texte.back()) > '.';
    if (affiche != (point ? texte + "." : texte)) return "TexteAffiche";
    const std::string titre = TitreApplication(texte);
    if (titre.size() > PartieNom(texte).size() || titre.find('.') != std::string::npos) return "TitreApplication";
    const std::string rep = RepertoireDuProgramme(texte);
    if (rep.size() > PartieChemin(texte).size()) return "RepertoireDuProgramme";
    return {};
}

}  // namespace

std::string EssaiNoms(const uint8_t* octets, size_t taille) {
    TPlateformeMemoire disque;
    const std::string tout(reinterpret_cast<const char*>(octets), taille);
    if (auto e = Vocabulaire(tout); !e.empty()) return e;
    // A NUL splits the input into a field's text and another name.
    const size_t nul = tout.find('\0');
    const std::string texte = tout.substr(0, nul);
    const std::string autre = nul == std::string::npos ? std::string() : tout.substr(nul + 1);
    if (auto e = Vocabulaire(autre); !e.empty()) return e;
    if (auto e = Champ(disque, texte, autre.substr(0, autre.find('\0'))); !e.empty()) return e;
    return {};
}

// ---------------------------------------------------------------- archives

namespace {

namespace fs = std::filesystem;

bool Commence(const std::string& s, const std::string& debut) { return s.compare(0, debut.size(), debut) == 0; }

// What is wrong with the extracted tree under racine, or "".
std::string VerifierArbre(const fs::path& racine) {
    std::error_code ec;
    const fs::path reelle = fs::canonical(racine, ec);
    for (auto it = fs::recursive_directory_iterator(racine, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path chemin = it->path();
        struct stat st;
        if (::lstat(chemin.c_str(), &st) != 0) return "lstat impossible : " + chemin.string();
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
            return "fichier spécial extrait : " + chemin.string();
        if (st.st_mode & 07000) return "bit spécial extrait : " + chemin.string();
        if (!S_ISLNK(st.st_mode)) continue;
        // The link, resolved by name from its own folder, stays in its top folder.
        const fs::path relatif = chemin.lexically_relative(racine);
        std::vector<std::string> pile;
        for (const auto& p : relatif.parent_path()) pile.push_back(p.string());
        const std::string cible = fs::read_symlink(chemin, ec).string();
        if (cible.empty() || cible[0] == '/') return "lien absolu ou vide extrait : " + chemin.string();
        for (const auto& p : fs::path(cible)) {
            if (p == "..") {
                if (pile.size() <= 1) return "lien qui sort de son dossier : " + chemin.string() + " -> " + cible;
                pile.pop_back();
            } else if (p != "." && !p.empty()) {
                pile.push_back(p.string());
            }
        }
        // And resolved by the system, through any other links, too.
        const fs::path resolu = fs::canonical(chemin, ec);
        const std::string haut = (reelle / *relatif.begin()).string();
        if (!ec && resolu.string() != haut && !Commence(resolu.string(), haut + "/"))
            return "lien résolu hors de son dossier : " + chemin.string() + " -> " + resolu.string();
        ec.clear();
    }
    if (ec) return "parcours impossible : " + ec.message();
    return {};
}

}  // namespace

std::string EssaiArchive(const uint8_t* octets, size_t taille) {
    std::string modele = (fs::temp_directory_path() / "koz-fuzz-archive-XXXXXX").string();
    if (!::mkdtemp(modele.data())) return "mkdtemp impossible";
    const fs::path dossier = modele, racine = dossier / "racine", dehors = dossier / "dehors";
    struct TNettoyage {
        fs::path D;
        ~TNettoyage() {
            SupprimerArborescence(D.string());
        }
    } nettoyage{dossier};
    fs::create_directory(racine);
    fs::create_directory(dehors);
    const fs::path existant = racine / "d" / "existant";
    fs::create_directory(racine / "d");
    std::ofstream(existant) << "avant";

    const bool ecraser = taille % 2 == 1;
    const size_t morceau = 1 + (taille * 7919) % 5000;
    std::string message;
    try {
        TExtractionArchive x(racine.string(), ecraser);
        for (size_t i = 0; i < taille; i += morceau) x.Ecrire(octets + i, std::min(morceau, taille - i));
        x.Fermer();
    } catch (const EKOZException& e) {
        message = e.what();
    }
    if (!message.empty() && !Commence(message, "L'archive contient une entrée refusée « ") &&
        message != "L'archive est invalide ou incomplète" && !Commence(message, "Impossible de créer le fichier \"") &&
        !Commence(message, "Impossible d'écrire dans le fichier \"") &&
        !Commence(message, "Impossible d'ouvrir le fichier \""))
        return "message inattendu : " + message;

    std::set<std::string> voisins;
    for (const auto& e : fs::directory_iterator(dossier)) voisins.insert(e.path().filename().string());
    if (voisins != std::set<std::string>{"dehors", "racine"}) return "un nom est apparu à côté du dossier cible";
    if (!fs::is_empty(dehors)) return "un fichier est apparu hors du dossier cible";
    if (auto e = VerifierArbre(racine); !e.empty()) return e;
    if (!ecraser) {
        std::ifstream f(existant, std::ios::binary);
        const std::string contenu((std::istreambuf_iterator<char>(f)), {});
        if (!fs::is_regular_file(fs::symlink_status(existant)) || contenu != "avant")
            return "un fichier existant a été remplacé";
    }
    if (!SupprimerArborescence(racine.string()) || fs::exists(fs::symlink_status(racine)))
        return "le dossier cible n'a pas pu être supprimé";
    return {};
}

std::string EssaiJournal(const uint8_t* octets, size_t taille) {
    TPlateformeMemoire memoire;
    const std::string dir = "/etats/";
    memoire.Poser(dir + kNomJournal, std::string(reinterpret_cast<const char*>(octets), taille));
    const std::vector<TEnregistrement> lus = LireJournal(dir);
    for (const auto& e : lus) {
        const auto relu = LireLigneJournal(LigneJournal(e));
        if (!relu || !(*relu == e)) return "LigneJournal ne se relit pas";
        if (LigneJournal(e).find('\n') != std::string::npos) return "LigneJournal contient un saut de ligne";
    }
    // A record whose names hold every awkward byte.
    TEnregistrement nouveau;
    nouveau.Date = "2026-12-08T00:00:00Z";
    nouveau.EmpreinteChiffre = std::string(64, 'a');
    nouveau.EmpreinteDepart = std::string(64, 'b');
    nouveau.EmpreinteFin = std::string(64, 'c');
    nouveau.TailleChiffre = taille;
    nouveau.TailleClair = taille / 3;
    nouveau.TrioDepart = std::string(reinterpret_cast<const char*>(octets), std::min<size_t>(taille, 12));
    nouveau.Nom = "n\t%\n" + nouveau.TrioDepart;
    const std::string texte(reinterpret_cast<const char*>(octets), taille);
    const bool autreVersion =
        texte.rfind("KOZ-JOURNAL ", 0) == 0 && texte.substr(0, texte.find('\n')) != kEnteteJournal;
    try {
        AjouterAuJournal(dir, {nouveau});
    } catch (const EKOZException&) {
        // Only a journal of another version is left as it is.
        if (autreVersion && *memoire.Contenu(dir + kNomJournal) == texte) return {};
        return "AjouterAuJournal a échoué";
    }
    if (autreVersion) return "un journal d'une autre version a été complété";
    const std::vector<TEnregistrement> apres = LireJournal(dir);
    if (apres.empty() || !(apres.back() == nouveau)) return "le nouvel enregistrement ne se relit pas en dernier";
    // An old line without its end of line gets one: the old records stay, the
    // last one of them possibly joined to nothing else.
    if (apres.size() < lus.size()) return "des enregistrements ont disparu";
    return {};
}
