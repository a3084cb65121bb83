# Prints each cross preset that CMakePresets.json names, with its GNU
# triple, a pair a line: the Debian architectures besides this machine's.
sed -n 's/.*"name": "\([^"]*\)", "inherits": "cross", "cacheVariables": {"CROSS_TRIPLE": "\([^"]*\)"}.*/\1 \2/p' \
	"$(dirname "${BASH_SOURCE[0]}")/../CMakePresets.json"
