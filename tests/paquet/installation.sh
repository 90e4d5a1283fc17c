#!/usr/bin/env bash
# The installed tree of a build: every desktop file where the desktops look
# for it, the file managers' menus runnable and pointing at installed
# programs, the completion, and the validators' verdict on the whole tree.
# Usage: installation.sh BUILD_DIR
set -u
construction=$1
racine=$(mktemp -d)
trap 'rm -rf "$racine"' EXIT
DESTDIR=$racine cmake --install "$construction" --prefix /usr >/dev/null || { echo "cmake --install a échoué"; exit 1; }
cd "$racine/usr" || exit 1

echecs=0
echec() { echo "$*"; echecs=$((echecs + 1)); }

for f in bin/koz bin/ZymKOZChiffre bin/ZymKOZDechiffre \
         share/applications/ZymKOZChiffre.desktop share/applications/ZymKOZDechiffre.desktop \
         share/metainfo/fr.zymkoz.zymkozchiffre.metainfo.xml share/mime/packages/zymkozchiffre.xml \
         share/icons/hicolor/scalable/apps/zymkozchiffre.svg share/man/man1/koz.1 \
         share/bash-completion/completions/koz \
         share/kio/servicemenus/zymkoz-chiffrer.desktop share/kio/servicemenus/zymkoz-dechiffrer.desktop \
         share/nemo/actions/zymkoz-chiffrer.nemo_action share/nemo/actions/zymkoz-dechiffrer.nemo_action \
         share/file-manager/actions/zymkoz-chiffrer-fma.desktop \
         share/file-manager/actions/zymkoz-dechiffrer-fma.desktop \
         "share/zymkozchiffre/nautilus-scripts/Chiffrer avec ZymKOZ" \
         "share/zymkozchiffre/nautilus-scripts/Déchiffrer avec ZymKOZ"; do
  [ -f "$f" ] || echec "absent : $f"
done
# Dolphin ignores a service menu that is not executable; Nautilus a script.
for f in share/kio/servicemenus/*.desktop share/zymkozchiffre/nautilus-scripts/*; do
  [ -x "$f" ] || echec "pas exécutable : $f"
done

# Each menu entry: its action's name, the program it runs (installed here),
# and the kind of file it is offered for.
menu() {  # fichier nom programme type
  local f=$1 nom=$2 programme=$3 type=$4
  grep -qx "Name=$nom" "$f" || echec "$f : pas de « Name=$nom »"
  grep -qE "^Exec=$programme %[fF]\$" "$f" || echec "$f : Exec ne lance pas $programme"
  [ -x "bin/$programme" ] || echec "$f : $programme n'est pas installé"
  grep -qE "^(MimeType|MimeTypes|Mimetypes|Extensions)=.*$type" "$f" || echec "$f : pas pour $type"
}
s=share/kio/servicemenus n=share/nemo/actions a=share/file-manager/actions
menu $s/zymkoz-chiffrer.desktop "Chiffrer avec ZymKOZ" ZymKOZChiffre all/allfiles
menu $s/zymkoz-dechiffrer.desktop "Déchiffrer avec ZymKOZ" ZymKOZDechiffre application/x-zymkoz-chiffre
menu $n/zymkoz-chiffrer.nemo_action "Chiffrer avec ZymKOZ" ZymKOZChiffre nodirs
menu $n/zymkoz-dechiffrer.nemo_action "Déchiffrer avec ZymKOZ" ZymKOZDechiffre application/x-zymkoz-chiffre
menu $a/zymkoz-chiffrer-fma.desktop "Chiffrer avec ZymKOZ" ZymKOZChiffre all/allfiles
menu $a/zymkoz-dechiffrer-fma.desktop "Déchiffrer avec ZymKOZ" ZymKOZDechiffre application/x-zymkoz-chiffre
for f in $s/*.desktop; do
  grep -qx "Type=Service" "$f" && grep -qx "X-KDE-ServiceTypes=KonqPopupMenu/Plugin" "$f" \
    || echec "$f : pas un menu de service"
  action=$(sed -n 's/^Actions=\([^;]*\);$/\1/p' "$f")
  grep -qx "\[Desktop Action $action\]" "$f" || echec "$f : l'action « $action » n'a pas de groupe"
done
# The desktop's "open with": a .KOZ opens the decryption window.
grep -q '^MimeType=.*application/x-zymkoz-chiffre;' share/applications/ZymKOZDechiffre.desktop \
  || echec "ZymKOZDechiffre ne s'ouvre pas sur les .KOZ"
grep -q 'type="application/x-zymkoz-chiffre"' share/mime/packages/zymkozchiffre.xml \
  || echec "le type des .KOZ n'est pas déclaré"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate share/applications/*.desktop || echec "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  # The whole tree: the metainfo, and its launchables found among the desktop entries.
  appstreamcli validate-tree --no-net --no-color "$racine" || echec "appstreamcli validate-tree"
fi

[ $echecs -eq 0 ] && echo "arbre installé : tout est en place"
exit $((echecs > 0))
