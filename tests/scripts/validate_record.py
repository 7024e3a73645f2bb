# Validates records (report.json) against the published schema with the
# python3-jsonschema Debian package: one line per fault, exit 1 on any.
import json
import sys

try:
    from jsonschema import Draft202012Validator
except ImportError:
    print("python3-jsonschema is not installed (scripts/deps installs it)")
    sys.exit(2)

with open(sys.argv[1]) as f:
    schema = json.load(f)
Draft202012Validator.check_schema(schema)
validator = Draft202012Validator(schema)
faults = 0
for path in sys.argv[2:]:
    with open(path) as f:
        record = json.load(f)
    for e in sorted(validator.iter_errors(record), key=lambda e: list(map(str, e.absolute_path))):
        # Of the choices of a oneOf, the fault of the one that came closest.
        e = e if not e.context else min(e.context, key=lambda c: (-len(c.absolute_path), c.validator == 'type'))
        print("%s: /%s: %s" % (path, "/".join(map(str, e.absolute_path)), e.message[:300]))
        faults += 1
sys.exit(1 if faults else 0)
