#!/usr/bin/env python3
"""Checks every JSON document the command-line tests saw against its schema.

Usage: check-json.py SCHEMA_FOLDER SAMPLE_FOLDER
The samples are SAMPLE_FOLDER/<schema name>/*.json (report, download, ..., usage). It fails on a document
that does not match, and on a schema with no sample: a path no test drives is a path no one checked.
"""
import json
import pathlib
import sys

import jsonschema

schemas_folder, samples_folder = map(pathlib.Path, sys.argv[1:3])
schemas = {path.name: json.loads(path.read_text()) for path in schemas_folder.glob("*.schema.json")}

try:  # jsonschema 4.18 and later resolve references through a registry
    from referencing import Registry, Resource

    registry = Registry().with_resources((name, Resource.from_contents(s)) for name, s in schemas.items())

    def validator(schema):
        return jsonschema.Draft202012Validator(schema, registry=registry)
except ImportError:  # Debian 12's 4.10: references resolve against the schemas' own file names
    store = {(schemas_folder / name).resolve().as_uri(): s for name, s in schemas.items()}

    def validator(schema):
        uri = next(uri for uri, s in store.items() if s is schema)
        return jsonschema.Draft202012Validator(schema, resolver=jsonschema.RefResolver(uri, schema, store=store))

failures = 0
for name, schema in sorted(schemas.items()):
    jsonschema.Draft202012Validator.check_schema(schema)
    samples = sorted((samples_folder / name.removesuffix(".schema.json")).glob("*.json"))
    if not samples:
        print(f"{name}: no test printed such a document")
        failures += 1
    for sample in samples:
        try:
            document = json.loads(sample.read_text())
        except json.JSONDecodeError as error:
            print(f"{sample}: not JSON: {error}")
            failures += 1
            continue
        for error in validator(schema).iter_errors(document):
            print(f"{sample}: {'/'.join(map(str, error.absolute_path)) or '(top)'}: {error.message}")
            failures += 1
    print(f"{name}: {len(samples)} documents")
unknown = {p.name for p in samples_folder.iterdir()} - {n.removesuffix(".schema.json") for n in schemas}
for folder in sorted(unknown):
    print(f"{folder}: no schema for these documents")
    failures += 1
sys.exit(1 if failures else 0)
