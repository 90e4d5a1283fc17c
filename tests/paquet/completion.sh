#!/usr/bin/env bash
# The bash completion of koz: subcommands, each one's options, and file
# names filtered by what each place takes. Usage: completion.sh SCRIPT
set -u
script=$1
source "$script" || { echo "le script ne se charge pas"; exit 1; }
[[ $(complete -p koz) == "complete -F _koz koz" ]] || { echo "koz n'est pas relié à _koz"; exit 1; }

cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch lettre.txt essai.KOZ vieux.koz DEBUT.KGR FIN.kgr
mkdir cles

echecs=0
# attendu "LIGNE DE COMMANDE|" "mots attendus, triés, séparés par un blanc"
# The cursor is at the end of the line; a line ending in a blank completes a new word.
attendu() {
    local ligne=$1 voulu=$2
    read -r -a COMP_WORDS <<<"$ligne"
    [[ $ligne == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$ligne
    COMP_POINT=${#ligne}
    COMPREPLY=()
    _koz
    local obtenu
    obtenu=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ $obtenu != "$voulu" ]]; then
        echo "« $ligne » : attendu « $voulu », obtenu « $obtenu »"
        echecs=$((echecs + 1))
    fi
}

attendu "koz " "chiffrer dechiffrer verifier"
attendu "koz de" "dechiffrer"
attendu "koz --v" "--version"
attendu "koz chiffrer --s" "--securise --sortie"
attendu "koz chiffrer -" "--etat --force --grille --help --securise --sortie -g -o -s"
attendu "koz chiffrer " "DEBUT.KGR FIN.kgr cles essai.KOZ lettre.txt vieux.koz"
attendu "koz chiffrer lettre.txt -g " "DEBUT.KGR FIN.kgr cles"
attendu "koz chiffrer lettre.txt --grille D" "DEBUT.KGR"
attendu "koz chiffrer lettre.txt -o " "cles essai.KOZ vieux.koz"
attendu "koz chiffrer lettre.txt --etat " "cles"
attendu "koz dechiffrer " "cles essai.KOZ vieux.koz"
attendu "koz dechiffrer essai.KOZ --fin " "DEBUT.KGR FIN.kgr cles"
attendu "koz dechiffrer essai.KOZ --sa" "--sans-verification --sauver-fin"
attendu "koz dechiffrer essai.KOZ --g" "--garder-partiel --grille"
attendu "koz dechiffrer essai.KOZ -o " "DEBUT.KGR FIN.kgr cles essai.KOZ lettre.txt vieux.koz"
attendu "koz dechiffrer -g DEBUT.KGR --f" "--fin --force"
attendu "koz verifier " "DEBUT.KGR FIN.kgr cles essai.KOZ vieux.koz"
attendu "koz verifier --" "--help"
# The options of one subcommand are not offered for another.
attendu "koz chiffrer --sans" ""
attendu "koz verifier --grille" ""
# The caller's shell options are left as they were.
shopt -q extglob && { echo "extglob laissé activé"; echecs=$((echecs + 1)); }

[[ $echecs -eq 0 ]] && echo "complétion de koz : tout est juste"
exit $((echecs > 0))
