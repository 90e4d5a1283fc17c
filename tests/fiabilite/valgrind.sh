#!/usr/bin/env bash
# koz under valgrind's memcheck on small files: encrypt, check the trio,
# decrypt against the final state, a chain continued with -g, and failures.
# Any memory error or leak makes valgrind exit with 99.
# Usage: valgrind.sh KOZ
set -euo pipefail
koz=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

vg() {
  valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible "$koz" "$@"
}
attendu() {  # attendu STATUS command...: the command ends with STATUS
  local voulu=$1 code=0
  shift
  vg "$@" >sortie 2>erreur || code=$?
  if [ "$code" -ne "$voulu" ]; then
    echo "koz $*: exit $code, expected $voulu" >&2
    cat erreur >&2
    exit 1
  fi
}

head -c 70000 /dev/urandom > a.bin
printf 'deuxième fichier de la chaîne\n' > b.txt
: > vide

attendu 0 chiffrer a.bin
attendu 0 verifier DEBUT.KGR
attendu 0 dechiffrer a.KOZ -g DEBUT.KGR -o a.retour --fin FIN-CHIFFRE.KGR --sauver-fin ATTEINT
cmp a.bin a.retour
cp FIN-CHIFFRE.KGR F1.KGR; cp FIN-CHIFFRE.KEC F1.KEC; cp FIN-CHIFFRE.KPR F1.KPR
attendu 0 chiffrer b.txt -g F1.KGR -s
attendu 0 dechiffrer a.KOZ b.KOZ -g DEBUT.KGR --fin FIN-CHIFFRE.KGR --force
cmp b.txt b
attendu 0 chiffrer vide -o vide.KOZ
attendu 0 dechiffrer vide.KOZ -g DEBUT.KGR -o vide.retour
cmp vide vide.retour

# Failures: a missing source, a broken grid, an altered file, a usage error.
attendu 1 chiffrer absent.txt
head -c 256 /dev/zero > casse.KGR; cp DEBUT.KEC casse.KEC; cp DEBUT.KPR casse.KPR
attendu 1 verifier casse.KGR
printf '\377' >> vide.KOZ
attendu 1 dechiffrer vide.KOZ -g DEBUT.KGR -o vide.autre
attendu 2 chiffrer
echo "valgrind: koz clean"
