#!/usr/bin/env bash
# Creates the simulated demo server VEXDEMO when it is missing.
#   create-demo-server.sh <path of sqlsim>
# The server lands in $VEXILON_SIM_DIR (default $XDG_DATA_HOME/vexilon/servers).
set -euo pipefail
sqlsim="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
server="${VEXILON_DEMO_SERVER:-VEXDEMO}"
if "$sqlsim" list 2>/dev/null | grep -qix "$server"; then
  exit 0
fi
echo "Creating the demo server $server"
"$sqlsim" create "$server" -P demo >/dev/null
trap '"$sqlsim" remove "$server"' ERR
run() { "$sqlsim" run "$server" -U sa -P demo -d "$1" -i "$here/$2" >/dev/null; }
run master 00-server.sql
run Ledger 10-ledger.sql
run Harbour 20-harbour.sql
run Atelier 30-atelier.sql
# The current user's Windows login, for trusted connections.
"$sqlsim" add-os-login "$server" >/dev/null
trap - ERR
echo "Demo server $server is ready."
