#include "commande/UKOZDechiffre.hpp"

#include <memory>

#include "cipher/KOZDechiffre.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"
#include "platform/Format.hpp"
#include "commande/KOZNoms.hpp"
#include "commande/KOZVerifications.hpp"

namespace {
const char* const kMemeFichier = "Le fichier chiffré et le fichier déchiffré sont le même fichier";
const char* const kDechiffreEtat = "Le fichier déchiffré et le fichier d'état sont le même fichier";
const char* const kChiffreEtat = "Le fichier chiffré et le fichier d'état sont le même fichier";
const char* const kDeuxFois = "Deux fichiers chiffrés seraient déchiffrés dans ce même fichier";
const char* const kGrilleDepart = "L'état atteint remplacerait la grille de départ";

// The three files of the trio that nom names (path part + base name).
std::vector<std::string> Trio(const std::string& nom) {
    const std::string dir = PartieChemin(nom), base = NomDeBase(nom);
    return {dir + base + ".KGR", dir + base + ".KEC", dir + base + ".KPR"};
}

void Refuser(const std::string& nom, const char* raison) { throw EKOZException(MessageCreation(nom, raison)); }
}  // namespace


std::string LancerDechiffrement(const TDechiffrement& d, const TSuivi* suivi) {
    if (d.Fichiers.empty()) throw EKOZException("Aucun fichier à déchiffrer");
    if (d.Grille.empty()) throw EKOZException("Le déchiffrement demande la grille de départ");

    auto fichiers = d.Fichiers;
    for (auto& [chiffre, clair] : fichiers)
        if (clair.empty()) clair = NomDechiffrePropose(chiffre);

    // Everything that can be known to fail is checked before a single file
    // is written, so that a run that cannot go through leaves the disk as it was.
    std::vector<uint64_t> tailles;
    uint64_t total = 0;
    for (const auto& f : fichiers) {
        const auto source = Plateforme().OuvrirLecture(f.first);
        tailles.push_back(source->Taille());
        total += tailles.back();
    }
    std::vector<std::string> depart = Trio(d.Grille), etats = depart, ecritsEtat;
    if (!d.Fin.empty())
        for (const auto& e : Trio(d.Fin)) etats.push_back(e);
    if (!d.SauverFin.empty()) {
        ecritsEtat = Trio(d.SauverFin);
        for (const auto& e : ecritsEtat) {
            // Replacing the starting trio would lose the key to the files.
            for (const auto& g : depart)
                if (MemeFichier(e, g)) Refuser(e, kGrilleDepart);
            for (const auto& f : fichiers)
                if (MemeFichier(e, f.first)) Refuser(e, kChiffreEtat);
            etats.push_back(e);
        }
    }
    for (size_t k = 0; k < fichiers.size(); ++k) {
        const std::string& clair = fichiers[k].second;
        // An output over any input of the chain would destroy it, before or
        // after it is read.
        for (const auto& f : fichiers)
            if (MemeFichier(clair, f.first)) Refuser(clair, kMemeFichier);
        for (const auto& e : etats)
            if (MemeFichier(clair, e)) Refuser(clair, kDechiffreEtat);
        for (size_t m = 0; m < k; ++m)
            if (MemeFichier(clair, fichiers[m].second)) Refuser(clair, kDeuxFois);
        // A missing directory would otherwise fail only once the outputs
        // before it in the chain are written.
        VerifierCreable(clair);
        if (!d.Ecraser && Plateforme().FichierExiste(clair))
            throw EKOZException(
                Format("Le fichier déchiffré \"%s\" existe déjà", Plateforme().CheminComplet(clair).c_str()));
    }

    const uint32_t debut = Plateforme().Ticks();
    TKOZDechiffre dechiffre(PartieChemin(d.Grille), NomDeBase(d.Grille));
    std::unique_ptr<TKOZGrille> fin;
    if (!d.Fin.empty()) {
        fin = std::make_unique<TKOZGrille>();
        fin->Charger(PartieChemin(d.Fin), NomDeBase(d.Fin));
    }

    // The caller sees one progress over the whole chain.
    uint64_t avant = 0;
    TSuivi chaine;
    if (suivi) {
        chaine.Arret = suivi->Arret;
        if (suivi->Progression)
            chaine.Progression = [&](uint64_t fait, uint64_t) { suivi->Progression(avant + fait, total); };
    }
    // A failure leaves the outputs already finished as they are, and the
    // failing one with the bytes recovered before the failure; its message
    // names the file.
    for (size_t k = 0; k < fichiers.size(); ++k) {
        dechiffre.DechiffrerFichier(fichiers[k].first, fichiers[k].second, suivi ? &chaine : nullptr);
        avant += tailles[k];
    }

    if (fin && !EtatsEgaux(dechiffre, *fin))
        throw EKOZException(Format("L'état atteint ne correspond pas à l'état \"%s\" : mauvaise grille de départ "
                                   "ou fichier chiffré altéré",
                                   Plateforme().CheminComplet(d.Fin).c_str()));
    if (!d.SauverFin.empty()) dechiffre.Sauver(PartieChemin(d.SauverFin), NomDeBase(d.SauverFin));

    const int32_t ecoule = int32_t(Plateforme().Ticks() - debut);
    return Format("Terminé en %dms", int(ecoule));
}
