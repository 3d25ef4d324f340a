# A private apt configuration whose entries are derived from the machine's own
# apt sources, for fetching a package or a source package without touching
# the system's apt configuration. Sourced by the scripts that fetch:
#
#   private_apt DIR deb-src      the machine's deb entries as deb-src entries
#   private_apt DIR backports    the backports suite of the machine's release,
#                                main component, at the mirrors it uses
#
# Sets the array apt_options for apt-get and updates the package lists in DIR.
private_apt() {
  local dir=$1 kind=$2 codename list
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/sources.list.d"
  rm -f "$dir/sources.list.d"/*
  : >"$dir/sources.list"
  # One-line lists.
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] || continue
    case $kind in
      deb-src) sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" ;;
      # deb [options] URI CODENAME ... -> deb [options] URI CODENAME-backports main
      backports) sed -En "s/^[[:space:]]*deb[[:space:]]+((\[[^]]*\][[:space:]]+)?[^[:space:]]+)[[:space:]]+$codename([[:space:]].*)?$/deb \1 $codename-backports main/p" "$list" ;;
    esac >>"$dir/sources.list"
  done
  # deb822 files: for backports, the stanzas that list the release's own suite.
  for list in /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] || continue
    case $kind in
      deb-src) sed 's/^Types:.*/Types: deb-src/' "$list" ;;
      backports) awk -v suite="$codename" '
        function flush() { if (keep) printf "%s\n", stanza; stanza = ""; keep = 0 }
        /^[[:space:]]*$/ { flush(); next }
        /^Types:/ { $0 = "Types: deb" }
        /^Components:/ { $0 = "Components: main" }
        /^Suites:/ {
          for (i = 2; i <= NF; i++) if ($i == suite) keep = 1
          $0 = "Suites: " suite "-backports"
        }
        { stanza = stanza $0 "\n" }
        END { flush() }' "$list" ;;
    esac >"$dir/sources.list.d/$(basename "$list")"
  done
  apt_options=(-o Dir::Etc::SourceList="$dir/sources.list"
               -o Dir::Etc::SourceParts="$dir/sources.list.d"
               -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache"
               -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)")
  # Sources that publish no such entries only warn; the package lookup decides.
  apt-get "${apt_options[@]}" -q update || true
}
