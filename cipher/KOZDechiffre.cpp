#include "cipher/KOZDechiffre.hpp"

#include <cstring>
#include <vector>

#include "random/KOZTools.hpp"

TKOZDechiffre::TKOZDechiffre(const std::string& dir, const std::string& nom) { Charger(dir, nom); }

TKOZDechiffre::TKOZDechiffre(const TKOZGrille& depart) {
    DefinirCases(depart.Cases());
    Verifier();
    Echange->Table = depart.Echange->Table;
    Permutations->Table = depart.Permutations->Table;
}

TKOZDechiffre::~TKOZDechiffre() = default;

int TKOZDechiffre::DechiffrerBloc(const uint8_t* octets, size_t n, uint8_t& v) const {
    if (n < 2) return kBlocIncomplet;
    const uint8_t q0 = Position(octets[0]);
    const uint8_t q1 = Position(octets[1]);
    const int l0 = q0 >> 4, c0 = q0 & 15;
    const int l1 = q1 >> 4, c1 = q1 & 15;

    if (l0 != l1 && c0 != c1) {
        // CodageCroix: the first byte on the plain byte's row, the second on its column.
        const int dc = (c0 - c1) & 15;
        const int dl = (l1 - l0) & 15;
        if (dc == 15 || dl == 15) return kBlocInvalide;
        v = Case(uint8_t(l0), uint8_t(c1));
        return 2;
    }

    // Both on one line (never both, as two distinct cells): x is the place
    // along it, fixe the row or column it is.
    const bool surLigne = l0 == l1;
    const int fixe = surLigne ? l0 : c0;
    const int x0 = surLigne ? c0 : l0;
    const int delta = ((surLigne ? c1 : l1) - x0) & 15;
    auto cellule = [&](int x) {
        return surLigne ? Case(uint8_t(fixe), uint8_t(x & 15)) : Case(uint8_t(x & 15), uint8_t(fixe));
    };

    if (delta == 2 || delta == 14) {
        // CodageVoisins: the cell one step from both.
        v = cellule(delta == 2 ? x0 + 1 : x0 + 15);
        return 2;
    }
    if (delta != 1 && delta != 15) return kBlocInvalide;

    if (n < 3) return kBlocIncomplet;
    const uint8_t q2 = Position(octets[2]);
    const int l2 = q2 >> 4, c2 = q2 & 15;

    if (surLigne ? l2 == l0 : c2 == c0) {
        const int x2 = surLigne ? c2 : l2;
        if (delta == 1 && ((x2 - x0) & 15) == 2) {
            // CodageSuite: the plain byte, then the next two cells.
            v = octets[0];
            return 3;
        }
        // CodageVoisinsDoubles. Its first pair is (1, 2) or (2, 1), the plain
        // byte then lies before p0 and the second pair is at 14/15; or it is
        // (14, 15) or (15, 14), the plain byte lies after p0 and the second
        // pair is at 1/2. The two candidates put p2 at different places.
        const int vArriere = x0 - (delta == 1 ? 1 : 2);
        const int vAvant = x0 + (delta == 1 ? 2 : 1);
        int vx, d2;
        if (const int e = (x2 - vArriere) & 15; e == 14 || e == 15) {
            vx = vArriere;
            d2 = e;
        } else if (const int f = (x2 - vAvant) & 15; f == 1 || f == 2) {
            vx = vAvant;
            d2 = f;
        } else {
            return kBlocInvalide;
        }
        if (n < 4) return kBlocIncomplet;
        const int partenaire = (d2 == 1 || d2 == 14) ? d2 + 1 : d2 - 1;
        if (octets[3] != cellule(vx + partenaire)) return kBlocInvalide;
        v = cellule(vx);
        return 4;
    }

    if (!surLigne || delta != 1) return kBlocInvalide;
    // CodageCroixDouble: p0, p1 on the plain byte's row 1..13 and 2..14
    // columns right of it; p2, p3 on its column 1..13 and 2..14 rows below.
    const int dc = (c0 - c2) & 15;
    const int dl = (l2 - l0) & 15;
    if (dc < 1 || dc > 13 || dl < 1 || dl > 13) return kBlocInvalide;
    if (n < 4) return kBlocIncomplet;
    if (octets[3] != Case(uint8_t((l2 + 1) & 15), uint8_t(c2))) return kBlocInvalide;
    v = Case(uint8_t(l0), uint8_t(c2));
    return 4;
}

void TKOZDechiffre::DechiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const std::string& nom,
                                   const TSuivi* suivi) {
    const bool prepare = PreparerEvolution();
    // A block left unfinished at the end of one read (at most 3 bytes) is
    // moved to the front, before the next read.
    std::vector<uint8_t> chiffre(kTailleTamponChiffre + 3);
    // Every block gives one byte and is at least 2 bytes long.
    std::vector<uint8_t> clair(kTailleTamponChiffre / 2 + 2);
    size_t rempli = 0;  // plain bytes waiting in clair
    size_t reste = 0;   // unfinished block bytes at the front of chiffre
    uint64_t debutTampon = 0;  // offset in Source of chiffre[0]
    const uint64_t total = Source.Taille();
    auto vider = [&] {
        // Counted as gone before the write, as in the encryption: a failed
        // write is never repeated.
        const size_t k = rempli;
        rempli = 0;
        if (k) Destination.Ecrire(clair.data(), k);
    };
    auto invalide = [&](uint64_t offset) {
        return EKOZException(Format("Le fichier chiffré \"%s\" est invalide à l'octet %llu",
                                    Plateforme().CheminComplet(nom).c_str(), (unsigned long long)offset));
    };
    try {
        for (;;) {
            const size_t n = Source.Lire(chiffre.data() + reste, kTailleTamponChiffre);
            if (n == 0) {
                if (reste) throw invalide(debutTampon);
                break;
            }
            const size_t disponible = reste + n;
            size_t i = 0;
            while (i < disponible) {
                if (suivi && suivi->ArretDemande()) throw EKOZInterruption("Déchiffrement interrompu");
                uint8_t v;
                const int longueur = DechiffrerBloc(chiffre.data() + i, disponible - i, v);
                if (longueur == kBlocIncomplet) break;
                if (longueur == kBlocInvalide) throw invalide(debutTampon + i);
                if (prepare)
                    EvoluerPrepare(v, Position(v));
                else
                    Evoluer(v);
                clair[rempli++] = v;
                i += size_t(longueur);
            }
            vider();
            reste = disponible - i;
            std::memmove(chiffre.data(), chiffre.data() + i, reste);
            debutTampon += i;
            if (suivi && suivi->Progression) suivi->Progression(debutTampon, total);
        }
    } catch (...) {
        try {
            vider();
        } catch (...) {
        }
        throw;
    }
}

void TKOZDechiffre::DechiffrerFichier(const std::string& Source, const std::string& Destination,
                                      const TSuivi* suivi) {
    auto source = Plateforme().OuvrirLecture(Source);
    auto destination = Plateforme().Creer(Destination, TGenreFichier::Donnees, source.get(),
                                          "Le fichier chiffré et le fichier déchiffré sont le même fichier");
    DechiffrerFlux(*source, *destination, Source, suivi);
    source.reset();
    destination->Fermer();
}

bool EtatsEgaux(const TKOZGrille& a, const TKOZGrille& b) {
    return a.Cases() == b.Cases() && a.Echange->Table == b.Echange->Table &&
           std::memcmp(a.Permutations->Table.data(), b.Permutations->Table.data(),
                       sizeof(a.Permutations->Table)) == 0;
}
