#!/usr/bin/env bash
# SETUP.EXE in its customers' languages, under Wine with nothing listening on
# the download server's port: in each language the Cancel question (with its
# button captions) and the error box of the refused connection read as its
# catalog says; a language without a catalog shows the source texts. Each
# dialog is saved as a PNG screenshot.
#   languages.sh SETUP.EXE UIDRIVER.EXE HTTP-PORT WORK-DIR [SCREENS-DIR]
set -uo pipefail
setup=$1 driver=$2 port=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run"
. "$here/drive_setup.sh"
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
screens=${5:-$work/screens}
mkdir -p "$screens"
failures=0

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "something listens on 127.0.0.1:$port; these cases need a refused connection"
  exit 1
fi

nbsp=$'\xc2\xa0'
abort_state="page=Abort front=Finish cancel=hidden next=disabled"

# check_language LOCALE CAPTION QUESTION BUTTONS ERROR
check_language() {
  local locale=$1 caption=$2 question=$3 buttons=$4 error=$5
  echo "== $locale"
  drive_setup "$locale" wait-page Start click "&Annuleer" \
    expect-dialog "$caption" "$question" "$buttons" snap "$work/question.bmp" confirm no \
    click "Volgende >" wait-page Locatie click "Volgende >" wait-page ProxySettings \
    click "Volgende >" expect-dialog "Setup" "$error" "OK" snap "$work/error.bmp" error-any \
    expect-state "$abort_state" click "Voltooien" wait-closed
  local rc=$?
  if [ $rc = 0 ]; then
    for shot in question error; do
      convert "$work/$shot.bmp" -define png:exclude-chunk=date,time "$screens/$shot-$locale.png"
    done
    echo "   ok"
  else
    failures=$((failures + 1))
    echo "   FAILED; driver said:"
    sed 's/^/     /' "$work/driver.log"
  fi
}

check_language nl_BE "WAARSCHUWING" \
  'De installatie is niet voltooid.\rBent u zeker dat u de installatie wilt annuleren?' "&Ja|&Nee" \
  'Netwerkfout nr. 10061\r\nDe verbinding werd geweigerd.'
check_language fr_BE "ATTENTION" \
  "L’installation n’est pas terminée.\\rVoulez-vous vraiment annuler l’installation$nbsp?" \
  "&Oui|&Non" "Erreur réseau n°${nbsp}10061\\r\\nLa connexion a été refusée."
check_language de_DE "WARNUNG" \
  'Die Installation ist noch nicht abgeschlossen.\rMöchten Sie die Installation wirklich abbrechen?' \
  "&Ja|&Nein" 'Netzwerkfehler Nr. 10061\r\nDie Verbindung wurde abgelehnt.'
check_language en_GB "WARNING" \
  'The installation is not complete.\rAre you sure you want to cancel the installation?' \
  "&Yes|&No" 'Network error 10061\r\nThe connection was refused.'
# A language without a catalog shows the texts as the code has them.
for untranslated in it_IT es_ES pt_PT; do
  [ -e "$here/../../../locale/${untranslated%_*}.po" ] || break
done
check_language $untranslated "WAARSCHUWING" 'De installatie is niet voltooid.\rBent u zeker ?' \
  "&Yes|&No" 'Socket Error # 10061\r\nConnection refused.'

echo "screenshots in $screens"
[ $failures = 0 ]
