#!/usr/bin/env bash
# zft's bash completion as bash-completion runs it:
#   completion.sh COMPLETION_FILE ZFT
# Each command's options must be the long options its --help lists, and
# file names are offered by what each place takes.
set -u
export LC_ALL=C
completion=$(realpath "$1")
zft=$(realpath "$2")
source /usr/share/bash-completion/bash_completion || exit 1
source "$completion" || exit 1
passes=0
failures=0

# The words offered for the command line `line` (its last word the one being
# completed), sorted, on one line.
offered() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _zft zft "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | words
}

# Lines joined by single spaces (xargs would run echo with them).
words() { paste -sd ' ' | sed 's/^ *//; s/ *$//'; }

check() {
    local got
    got=$(offered "$1")
    if [[ $got != "$2" ]]; then
        echo "FAIL: '$1' offers '$got', not '$2'"
        failures=$((failures + 1))
    else
        passes=$((passes + 1))
    fi
}

cd "$(mktemp -d)" || exit 1
touch a.zft B.ZFT c.png d.JPG notes.txt
mkdir sub
mkdir pictures
touch pictures/{a.jpeg,b.jpe,c.jfif,d.gif,e.bmp,f.dib,g.ppm,h.PGM,i.pbm,j.xbm,k.xpm,l.pnm,m.tif}

check 'zft ' '--help --version convert export info thumbnail verify'
check 'zft con' 'convert'
check 'zft verify ' 'B.ZFT a.zft pictures sub'
check 'zft info --' '--help --json'
check 'zft convert ' 'c.png d.JPG pictures sub'
# Only what convert reads: no .pbm, .xbm, .xpm, .pnm or .tif.
check 'zft convert pictures/' 'pictures/a.jpeg pictures/b.jpe pictures/c.jfif pictures/d.gif pictures/e.bmp pictures/f.dib pictures/g.ppm pictures/h.PGM'
check 'zft convert -o ' 'B.ZFT a.zft pictures sub'
check 'zft convert --directory ' 'pictures sub'
check 'zft convert --notice ' ''
check 'zft export ' 'B.ZFT a.zft pictures sub'
check 'zft export a.zft ' 'c.png d.JPG pictures sub'
check 'zft export --format ' 'bmp jpg png ppm'
check 'zft export --format png a.zft ' 'c.png d.JPG pictures sub'
check 'zft thumbnail a.zft ' 'c.png pictures sub'
check 'zft thumbnail a.zft out.png ' ''

# Every command's long options, as its own help lists them.
for command in info convert export verify thumbnail; do
    listed=$("$zft" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | words)
    check "zft $command --" "$listed"
done

echo "completion: $passes passed, $failures failed"
[[ $failures -eq 0 ]]
