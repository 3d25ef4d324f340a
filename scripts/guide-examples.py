#!/usr/bin/env python3
"""The host writer's guide quotes the sources of the examples that CI builds
and runs: each code block (C++, C or Python) after a line
`<!-- example: PATH -->` is the file PATH. --check fails
when a block and its file differ; --write copies the files into the guide."""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
guide = root / "docs" / "host-guide.md"
pattern = re.compile(r"(<!-- example: (\S+) -->\n```(?:cpp|c|python)\n)(.*?)(```)", re.S)


def main() -> int:
    text = guide.read_text()
    stale = []

    def replace(match):
        source = (root / match.group(2)).read_text()
        if match.group(3) != source:
            stale.append(match.group(2))
        return match.group(1) + source + match.group(4)

    updated = pattern.sub(replace, text)
    if "--write" in sys.argv:
        guide.write_text(updated)
        return 0
    if not pattern.search(text):
        print("the guide quotes no example", file=sys.stderr)
        return 1
    for path in stale:
        print(f"{guide.name}: the example {path} differs from the file", file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
