#include "commande/NomFichier.hpp"

#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"
#include "platform/Format.hpp"

namespace {
bool Blanc(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

bool NomFichierValide(const std::string& nom) {
    return !nom.empty() && nom.find_first_of("<>\"[]|") == std::string::npos;
}

std::string NomDuTexte(const std::string& texte) {
    size_t debut = 0, fin = texte.size();
    // Blanks, and empty pairs of quotes, before the name are skipped.
    for (;;) {
        while (debut < fin && Blanc(texte[debut])) ++debut;
        if (fin - debut < 2 || texte[debut] != '"' || texte[debut + 1] != '"') break;
        debut += 2;
    }
    if (debut < fin && texte[debut] == '"') {
        // A quoted name runs to its closing quote, or to the end while that
        // quote is not typed yet; what follows the closing quote is not read.
        const size_t ferme = texte.find('"', debut + 1);
        return texte.substr(debut + 1, (ferme == std::string::npos ? fin : ferme) - debut - 1);
    }
    while (fin > debut && Blanc(texte[fin - 1])) --fin;
    return texte.substr(debut, fin - debut);
}

std::string FormeObtenue(const std::string& texte) {
    if (Plateforme().FichierExiste(texte)) return texte;
    return NomDuTexte(texte);
}

std::string TexteDuNom(const std::string& nom) {
    if (nom.empty() || nom[0] == '"') return nom;
    if (nom.find(' ') != std::string::npos || Blanc(nom.front()) || Blanc(nom.back())) return '"' + nom + '"';
    return nom;
}

std::string TexteDefini(const std::string& nom) { return nom.empty() ? nom : TexteDuNom(FormeObtenue(nom)); }

std::string TexteDuNomPropose(const std::string& nom) {
    if (!nom.empty() && !NomFichierValide(nom))
        throw EKOZException(Format("Nom de fichier incorrect - %s", nom.c_str()));
    return TexteDuNom(nom);
}

void VerifierNomFichier(const std::string& nom) {
    if (!nom.empty() && !NomFichierValide(FormeObtenue(nom)))
        throw EKOZException(Format("Nom de fichier incorrect - %s", nom.c_str()));
}

std::string FiltreDialogue(const std::string& filtre) {
    std::string resultat;
    size_t i = 0;
    while (i <= filtre.size()) {
        size_t barre = filtre.find('|', i);
        const std::string description = filtre.substr(i, barre == std::string::npos ? std::string::npos : barre - i);
        std::string motif;
        if (barre != std::string::npos) {
            const size_t suivante = filtre.find('|', barre + 1);
            motif = filtre.substr(barre + 1, suivante == std::string::npos ? std::string::npos : suivante - barre - 1);
            barre = suivante;
        }
        if (description.empty() && motif.empty()) break;
        std::string motifs;
        size_t j = 0;
        while (j <= motif.size()) {
            size_t pv = motif.find(';', j);
            std::string un = motif.substr(j, pv == std::string::npos ? std::string::npos : pv - j);
            if (un == "*.*") un = "*";
            if (!un.empty()) motifs += (motifs.empty() ? "" : " ") + un;
            if (pv == std::string::npos) break;
            j = pv + 1;
        }
        if (motifs.empty()) motifs = "*";
        if (!resultat.empty()) resultat += ";;";
        resultat += description + " (" + motifs + ")";
        if (barre == std::string::npos) break;
        i = barre + 1;
    }
    return resultat;
}

TPreparationParcours PreparerParcours(const std::string& texte, const std::string& repertoire,
                                      const std::string& nomPropose) {
    TPreparationParcours p{repertoire, nomPropose};
    const std::string n = FormeObtenue(texte);
    if (!NomFichierValide(n)) return p;
    const std::string chemin = PartieChemin(n);
    if (Plateforme().RepertoireExiste(chemin)) p.Repertoire = chemin;
    p.Nom = NomFichierValide(PartieNom(n)) ? n : std::string();
    return p;
}
