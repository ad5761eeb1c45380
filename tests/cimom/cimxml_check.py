#!/usr/bin/env python3
"""Checks what a running CIMOM answers for the library's classes against vkt-cim.

A small CIM-XML client (operations POSTed to /cimom over HTTP) that asks a CIMOM on
127.0.0.1:5988 for every class of the expected document (the output of
`vkt-cim --simulate=SCENARIO --json enumerate --all`) and compares, class by class:

  * EnumerateInstances: the same instances in the same order, each with the same key on its
    path, its key property holding the key's value, and every property with the same value;
    a property the CIMOM adds must be declared by the class and null (a property the
    provider did not set). With --drops-undeclared (OpenPegasus) the names that end in a
    blank, which no class can declare, are expected to be missing; otherwise they must be
    there like every other.
  * GetClass: exactly the key and the properties the generated class definitions declare
    (read from MOF-DIR), the key marked Key, and nothing an instance published outside of
    them but those names that end in a blank.
  * The calls whose effect once differed between CIMOMs: a property list keeps exactly the
    named properties (and the key on the path), in classes whose providers always filtered
    and in ones whose providers once did not; a WQL query, which both CIMOMs answer by
    enumerating, gives the instances of the enumeration; a class with no instance answers
    an empty list.

With --gone instead of EXPECTED.json, after unregistering: GetClass of every class of
MOF-DIR must answer CIM_ERR_INVALID_NAMESPACE, CIM_ERR_INVALID_CLASS or CIM_ERR_NOT_FOUND.

usage: cimxml_check.py [--url URL] [--drops-undeclared] MOF-DIR EXPECTED.json
       cimxml_check.py [--url URL] --gone MOF-DIR
Prints one line per class and exits 1 on the first class that differs (after listing what
differs), 2 when the CIMOM cannot be reached or answers something that is not CIM-XML.
"""

import argparse
import http.client
import json
import re
import sys
import urllib.parse
import xml.etree.ElementTree as ET

NAMESPACE = "varkolt/cimv2"


class CimError(Exception):
    def __init__(self, code, description):
        super().__init__("CIM error %s: %s" % (code, description))
        self.code = int(code)


class Client:
    def __init__(self, url, timeout):
        parts = urllib.parse.urlsplit(url)
        self.host = parts.hostname or "127.0.0.1"
        self.port = parts.port or 5988
        self.timeout = timeout
        self.message_id = 1000

    def call(self, method, params):
        """One intrinsic method call; returns the IRETURNVALUE element (or None)."""
        self.message_id += 1
        space = "".join('<NAMESPACE NAME="%s"/>' % n for n in NAMESPACE.split("/"))
        body = ('<?xml version="1.0" encoding="utf-8" ?>\n'
                '<CIM CIMVERSION="2.0" DTDVERSION="2.0"><MESSAGE ID="%d" PROTOCOLVERSION="1.0">'
                '<SIMPLEREQ><IMETHODCALL NAME="%s"><LOCALNAMESPACEPATH>%s</LOCALNAMESPACEPATH>%s'
                '</IMETHODCALL></SIMPLEREQ></MESSAGE></CIM>\n'
                % (self.message_id, method, space, "".join(params))).encode("utf-8")
        headers = {
            "Content-Type": 'application/xml; charset="utf-8"',
            "CIMOperation": "MethodCall",
            "CIMMethod": method,
            "CIMObject": urllib.parse.quote(NAMESPACE, safe="/"),
        }
        conn = http.client.HTTPConnection(self.host, self.port, timeout=self.timeout)
        try:
            conn.request("POST", "/cimom", body, headers)
            resp = conn.getresponse()
            data = resp.read()
            status, cim_error = resp.status, resp.getheader("CIMError")
        except (OSError, http.client.HTTPException) as e:
            raise ConnectionError("%s: no answer from %s:%d (%s)" % (method, self.host, self.port, e)) from e
        finally:
            conn.close()
        if status != 200:
            raise ConnectionError("%s: HTTP %d (CIMError: %s)" % (method, status, cim_error))
        try:
            root = ET.fromstring(data)
        except ET.ParseError as e:
            raise ConnectionError("%s: the answer is no XML document (%s)" % (method, e)) from e
        response = root.find("./MESSAGE/SIMPLERSP/IMETHODRESPONSE")
        if response is None:
            raise ConnectionError("%s: no IMETHODRESPONSE in the answer" % method)
        error = response.find("ERROR")
        if error is not None:
            raise CimError(error.get("CODE"), error.get("DESCRIPTION", ""))
        return response.find("IRETURNVALUE")


def param(name, inner):
    return '<IPARAMVALUE NAME="%s">%s</IPARAMVALUE>' % (name, inner)


def classname(name):
    return '<CLASSNAME NAME="%s"/>' % name


def boolean(value):
    return "<VALUE>%s</VALUE>" % ("TRUE" if value else "FALSE")


def xml_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def value_of(element):
    """The text of a PROPERTY's VALUE: None when it has none (null)."""
    value = element.find("VALUE")
    if value is None:
        return None
    return value.text or ""


def read_instance(named):
    """(class, {key: value}, [(property, value)]) of a VALUE.NAMEDINSTANCE or VALUE.OBJECT."""
    path = named.find("INSTANCENAME")
    inst = named.find("INSTANCE")
    keys = {}
    if path is not None:
        for kb in path.findall("KEYBINDING"):
            kv = kb.find("KEYVALUE")
            keys[kb.get("NAME")] = (kv.text or "") if kv is not None else None
    props = [(p.get("NAME"), value_of(p)) for p in inst.findall("PROPERTY")]
    return inst.get("CLASSNAME"), keys, props


def enumerate_instances(client, cls, property_list=None):
    params = [param("ClassName", classname(cls)), param("LocalOnly", boolean(False)),
              param("DeepInheritance", boolean(True))]
    if property_list is not None:
        params.append(param("PropertyList", "<VALUE.ARRAY>%s</VALUE.ARRAY>"
                            % "".join("<VALUE>%s</VALUE>" % xml_text(p) for p in property_list)))
    ret = client.call("EnumerateInstances", params)
    return [] if ret is None else [read_instance(n) for n in ret.findall("VALUE.NAMEDINSTANCE")]


def exec_query(client, query):
    ret = client.call("ExecQuery", [param("QueryLanguage", "<VALUE>WQL</VALUE>"),
                                    param("Query", "<VALUE>%s</VALUE>" % xml_text(query))])
    out = []
    for obj in ([] if ret is None else ret.findall("VALUE.OBJECTWITHPATH") + ret.findall("VALUE.OBJECT")):
        inst = obj.find("INSTANCE")
        path = obj.find("INSTANCEPATH/INSTANCENAME")
        keys = {}
        if path is not None:
            for kb in path.findall("KEYBINDING"):
                keys[kb.get("NAME")] = kb.findtext("KEYVALUE", "")
        out.append((inst.get("CLASSNAME"), keys, [(p.get("NAME"), value_of(p)) for p in inst.findall("PROPERTY")]))
    return out


def get_class(client, cls):
    ret = client.call("GetClass", [param("ClassName", classname(cls)), param("LocalOnly", boolean(False)),
                                   param("IncludeQualifiers", boolean(True))])
    klass = ret.find("CLASS")
    props = []
    for p in klass.findall("PROPERTY"):
        is_key = any(q.get("NAME", "").lower() == "key" and (q.findtext("VALUE", "") or "").upper() == "TRUE"
                     for q in p.findall("QUALIFIER"))
        props.append((p.get("NAME"), is_key))
    return props


def declared_classes(mof_dir):
    """{class: (key or None, [property])} from the generated class files."""
    classes = {}
    for name in ("varkolt.mof", "varkolt-actions.mof"):
        current = None
        with open("%s/%s" % (mof_dir, name), encoding="utf-8") as f:
            for line in f:
                line = line.strip()
                m = re.match(r"class (\w+)$", line)
                if m:
                    current = m.group(1)
                    classes[current] = [None, []]
                    continue
                m = re.match(r"(\[Key\] )?string (\w+);$", line)
                if m and current:
                    if m.group(1):
                        classes[current][0] = m.group(2)
                    else:
                        classes[current][1].append(m.group(2))
    return classes


def show(v):
    return "NULL" if v is None else json.dumps(v)


class Check:
    def __init__(self, client, declared, drops_undeclared):
        self.client = client
        self.declared = declared
        self.drops_undeclared = drops_undeclared
        self.problems = []

    def fail(self, text):
        self.problems.append(text)

    def compare_instance(self, where, expected, actual, class_properties):
        exp_keys = expected["keys"]
        cls, keys, props = actual
        if keys != exp_keys:
            self.fail("%s: keys %s, expected %s" % (where, keys, exp_keys))
        names = [n for n, _ in props]
        if len(set(n.lower() for n in names)) != len(names):
            self.fail("%s: a property appears twice: %s" % (where, names))
        got = dict(props)
        published = {}
        for name, value in expected["properties"]:
            published[name] = value
        for key, value in exp_keys.items():
            if got.get(key) != value:
                self.fail("%s: key property %s = %s, expected %s" % (where, key, show(got.get(key)), show(value)))
        for name, value in published.items():
            if name.endswith(" ") and self.drops_undeclared:
                if name in got:
                    self.fail("%s: undeclared property %s is there" % (where, show(name)))
                continue
            if name not in got:
                self.fail("%s: property %s is missing (expected %s)" % (where, show(name), show(value)))
            elif got[name] != value:
                self.fail("%s: %s = %s, expected %s" % (where, name, show(got[name]), show(value)))
        for name, value in props:
            if name in published:
                continue
            if name not in class_properties:
                self.fail("%s: property %s is not published by the provider" % (where, show(name)))
            elif value is not None:
                self.fail("%s: unpublished property %s = %s, expected NULL" % (where, name, show(value)))

    def check_class(self, entry):
        cls = entry["class"]
        key, properties = self.declared[cls]
        class_properties = ([key] if key else []) + properties
        # GetClass: exactly the declared properties, the key marked so.
        got_class = get_class(self.client, cls)
        expected_class = sorted((p, p == key) for p in class_properties)
        if sorted(got_class) != expected_class:
            self.fail("%s: GetClass gives %s, expected %s" % (cls, sorted(got_class), expected_class))
        for inst in entry["instances"]:
            for name, _ in inst["properties"]:
                if name not in class_properties and not name.endswith(" "):
                    self.fail("%s: published property %s is not declared" % (cls, show(name)))
        # EnumerateInstances.
        actual = enumerate_instances(self.client, cls)
        expected = entry["instances"]
        if len(actual) != len(expected):
            self.fail("%s: %d instances, expected %d" % (cls, len(actual), len(expected)))
        for i, (e, a) in enumerate(zip(expected, actual)):
            self.compare_instance("%s #%d %s" % (cls, i + 1, e["path"]), e, a, class_properties)
        return len(actual)

    def check_property_list(self, cls, wanted):
        """A property list keeps exactly the named properties; the key stays on the path."""
        for i, (_, keys, props) in enumerate(enumerate_instances(self.client, cls, wanted)):
            names = sorted(n for n, _ in props)
            if names != sorted(wanted):
                self.fail("%s #%d with PropertyList %s: properties %s" % (cls, i + 1, wanted, names))
            key = self.declared[cls][0]
            if key and not keys.get(key):
                self.fail("%s #%d with PropertyList %s: key %s lost from the path" % (cls, i + 1, wanted, key))

    def check_query(self, cls, expected_entry):
        """SELECT * FROM a class answers by enumerating it: the instances of vkt-cim."""
        try:
            got = exec_query(self.client, "SELECT * FROM %s" % cls)
        except CimError as e:
            self.fail("ExecQuery %s: %s" % (cls, e))
            return "ExecQuery %s: CIM error %d" % (cls, e.code)
        if len(got) != len(expected_entry["instances"]):
            self.fail("ExecQuery %s: %d instances, expected %d" % (cls, len(got), len(expected_entry["instances"])))
        return "ExecQuery %s: %d instances" % (cls, len(got))


def check_gone(client, declared):
    left = []
    try:
        for cls in declared:
            try:
                get_class(client, cls)
                left.append(cls)
            except CimError as e:
                if e.code not in (3, 5, 6):  # CIM_ERR_INVALID_NAMESPACE, _INVALID_CLASS, _NOT_FOUND
                    left.append("%s (%s)" % (cls, e))
    except ConnectionError as e:
        print("cimxml_check: %s" % e, file=sys.stderr)
        return 2
    if left:
        print("cimxml_check: still there: %s" % ", ".join(left), file=sys.stderr)
        return 1
    print("none of the %d classes is left" % len(declared))
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--url", default="http://127.0.0.1:5988")
    ap.add_argument("--timeout", type=float, default=120)
    ap.add_argument("--drops-undeclared", action="store_true",
                    help="the CIMOM drops properties its class does not declare (OpenPegasus)")
    ap.add_argument("--gone", action="store_true", help="every class must be unknown to the CIMOM")
    ap.add_argument("mof_dir")
    ap.add_argument("expected", nargs="?")
    args = ap.parse_args()
    if args.gone:
        return check_gone(Client(args.url, args.timeout), declared_classes(args.mof_dir))
    if args.expected is None:
        ap.error("EXPECTED.json is missing")

    with open(args.expected, encoding="utf-8") as f:
        expected = json.load(f)
    declared = declared_classes(args.mof_dir)
    check = Check(Client(args.url, args.timeout), declared, args.drops_undeclared)
    by_class = {e["class"]: e for e in expected}
    try:
        missing = sorted(set(declared) - set(by_class))
        if missing:
            check.fail("classes missing from %s: %s" % (args.expected, missing))
        for entry in expected:
            if entry["class"] not in declared:
                check.fail("%s is not declared in %s" % (entry["class"], args.mof_dir))
                continue
            n = check.check_class(entry)
            print("%-28s %3d instance(s)%s" % (entry["class"], n, "" if not check.problems else ": DIFFERS"))
            if check.problems:
                break
        if not check.problems:
            # Calls whose effect once differed between CIMOMs; the action classes are left
            # alone here, as each enumeration acts again.
            for cls, wanted in (("VKT_FRU", ["VKT_ProductName"]),
                                ("VKT_PMBus", ["VKT_PMBus_InputVoltage", "VKT_PMBus_Fan1"]),
                                ("VKT_PMBusFRU", ["Status"]),
                                ("VKT_Sensors", ["VKT_Reading", "VKT_Status"])):
                check.check_property_list(cls, wanted)
            print("property lists: %s" % ("OK" if not check.problems else "DIFFER"))
            for cls in ("VKT_FRU", "VKT_Sensors", "VKT_PXInfo"):
                print(check.check_query(cls, by_class[cls]))
    except (ConnectionError, CimError) as e:
        print("cimxml_check: %s" % e, file=sys.stderr)
        return 2
    for p in check.problems:
        print("  " + p, file=sys.stderr)
    return 1 if check.problems else 0


if __name__ == "__main__":
    sys.exit(main())
