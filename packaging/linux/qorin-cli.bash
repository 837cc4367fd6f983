# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for qorin-cli

_qorin_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local before=""
  [ "$COMP_CWORD" -ge 2 ] && before=${COMP_WORDS[COMP_CWORD - 2]}
  COMPREPLY=()

  case $prev in
    --on) mapfile -t COMPREPLY < <(compgen -W "name ext all" -- "$cur"); return ;;
    --case) mapfile -t COMPREPLY < <(compgen -W "upper lower title lower-first" -- "$cur"); return ;;
    --date-source) mapfile -t COMPREPLY < <(compgen -W "mtime exif birth" -- "$cur"); return ;;
    --date-place) mapfile -t COMPREPLY < <(compgen -W "replace prefix suffix" -- "$cur"); return ;;
    --sort) mapfile -t COMPREPLY < <(compgen -W "name mtime taken size" -- "$cur"); return ;;
    --at) mapfile -t COMPREPLY < <(compgen -W "end" -- "$cur"); return ;;
    # Texts of the user's own.
    --from) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
    --max-depth | --include | --exclude | --number | --prefix | --name | --suffix | --ext | --replace | --insert | --ext-text | --tags | --date | --date-sep) return ;;
  esac
  # The replacement, the second text of --replace.
  [ "$before" = --replace ] && return

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "-r --recursive --hidden --max-depth
      --include --exclude --from -0
      --number --prefix --name --suffix --ext
      --replace --with= --regex --case-sensitive --on
      --insert --at --ext-text
      --case --ext-case
      --tags --v1-first
      --date --date-source --date-place --date-sep
      --sort --reverse
      -x --execute --undo --forget --wait --json --help --version" -- "$cur")
    return
  fi
  if declare -F _filedir >/dev/null; then
    _filedir
  else
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _qorin_cli qorin-cli
