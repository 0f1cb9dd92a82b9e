#!/usr/bin/env python3
"""Validates the saved --json examples against the schema in docs/json, so the schema stays
true to what the commands print.

    validate_json_examples.py SCHEMA EXAMPLES_DIR

An example named COMMAND.json or COMMAND-variant.json is checked against $defs/COMMAND.
Exits 77 (skipped under ctest) when python3-jsonschema is missing.
"""
import json
import pathlib
import sys

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed: skipped")
    sys.exit(77)


def validator_for(schema, command):
    # The command's definition as the root, with the shared definitions beside it.
    return jsonschema.Draft202012Validator(
        {"$schema": schema["$schema"], "$defs": schema["$defs"], "$ref": f"#/$defs/{command}"})


def main():
    schema = json.loads(pathlib.Path(sys.argv[1]).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    examples = sorted(pathlib.Path(sys.argv[2]).glob("*.json"))
    failures = [] if examples else ["no examples found"]
    for example in examples:
        command = example.stem.split("-")[0]
        if command not in schema["$defs"]:
            failures.append(f"{example.name}: no $defs/{command} in the schema")
            continue
        validator = validator_for(schema, command)
        document = json.loads(example.read_text())
        for error in validator.iter_errors(document):
            failures.append(f"{example.name}: {error.json_path}: {error.message}")
        # A schema that took anything would pass the above: a key taken away must be missed.
        if isinstance(document, dict) and document:
            shortened = dict(list(document.items())[1:])
            if validator.is_valid(shortened):
                failures.append(f"{example.name}: still valid without {next(iter(document))!r}")
    for failure in failures:
        print(failure)
    print(f"{len(examples)} examples, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
