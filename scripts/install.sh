#!/usr/bin/env bash
# Builds Varnelo and installs it for the current user, without root:
# programs in ~/.local/bin, the desktop entry, icons, AppStream file and the
# man page of varnelo-cli under ~/.local/share. Another prefix may be given.
# Usage: scripts/install.sh [PREFIX]        (default ~/.local)
#        scripts/install.sh --uninstall     removes what the last install put in place
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNELO_BUILD_DIR:-$root/build}"

if [ "${1:-}" = "--uninstall" ]; then
  manifest="$build/install_manifest.txt"
  [ -f "$manifest" ] || { echo "install.sh: nothing to uninstall ($manifest not found)" >&2; exit 1; }
  while IFS= read -r f; do
    [ -e "$f" ] && rm -f -- "$f" && echo "removed $f"
  done < "$manifest"
  exit 0
fi

prefix="${1:-$HOME/.local}"
"$root/scripts/build.sh" --target varnelo varnelo-cli varnelo_icons
cmake --install "$build" --prefix "$prefix"

# Menus and file managers read caches of their own; refresh those there are.
if command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database -q "$prefix/share/applications" || true
fi
if command -v gtk-update-icon-cache >/dev/null 2>&1 && [ -f "$prefix/share/icons/hicolor/index.theme" ]; then
  gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" || true
fi

echo "Varnelo is installed in $prefix: start it from the desktop's menu, or as $prefix/bin/varnelo."
case ":$PATH:" in
  *":$prefix/bin:"*) ;;
  *) echo "Note: $prefix/bin is not on your PATH; add it to run varnelo-cli by name." ;;
esac
