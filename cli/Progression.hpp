#pragma once
// The progress line of a long run on a terminal: percentage, bytes done and
// rate, redrawn in place with "\r" at most ten times a second, and erased
// when the run ends, whatever its outcome.

#include <cstdint>
#include <functional>
#include <string>

class TLigneProgression {
public:
    using TSortie = std::function<void(const std::string&)>;
    // Seconds on a monotonic clock.
    using THorloge = std::function<double()>;

    // Files smaller than this finish too fast for a line to help.
    static constexpr uint64_t kSeuil = uint64_t(1) << 20;
    static constexpr double kIntervalle = 0.1;

    // Draws nothing at all unless actif (stderr is a terminal).
    TLigneProgression(bool actif, TSortie sortie, THorloge horloge = HorlogeMonotone);
    ~TLigneProgression();

    TLigneProgression(const TLigneProgression&) = delete;
    TLigneProgression& operator=(const TLigneProgression&) = delete;

    // One report of the running file: fait bytes of total. A report whose
    // fait goes back starts the next file of a chain; the rate covers them all.
    void Avancer(uint64_t fait, uint64_t total);
    // A run over several files: the line then begins with "fichier 2/3  ".
    void Fichier(int numero, int nombre) {
        Prefixe = nombre > 1 ? "fichier " + std::to_string(numero) + "/" + std::to_string(nombre) + "  " : std::string();
    }
    // Clears the line if one was drawn; later reports may draw again.
    void Effacer();

    // The text of one line, without "\r": " 42 %  12,3 Mo / 29,4 Mo  8,1 Mo/s"
    // (1 Mo = 1 000 000 octets, French decimal comma).
    static std::string Texte(uint64_t fait, uint64_t total, uint64_t cumul, double secondes);

    static double HorlogeMonotone();

private:
    bool Actif;
    TSortie Sortie;
    THorloge Horloge;
    double Debut;
    double DernierDessin = 0;
    bool Dessinee = false;     // a line is on the screen now
    bool DejaDessine = false;  // a line was ever drawn (the throttle applies)
    size_t Largeur = 0;        // characters of the widest line on the screen
    uint64_t DernierFait = 0;
    uint64_t FichiersPrecedents = 0;  // bytes of the earlier files of a chain
    std::string Prefixe;
};
