#!/usr/bin/env python3
"""One name per class in a deliverable: every class or struct that the given source folders
define outside an unnamed namespace (or a function) is found by its qualified name, and a name
defined in two files fails the test. Two definitions of one name linked into one library break
the one-definition rule whatever their contents, and the linker says nothing about it.

Files of the native-only implementations (*_openssl.cpp, *_posix.cpp) are never linked with
their Windows twins and are left out.

The scanner first proves itself on a sample (comments, literals, unnamed namespaces, local
and nested classes).

  one_definition_test.py SOURCE_DIR FOLDER...   (folders relative to SOURCE_DIR)
"""
import os
import re
import sys

NATIVE_ONLY = ("_openssl.cpp", "_posix.cpp")
CLASS_HEAD = re.compile(r"^(?:template\s*<.*>\s*)?(?:class|struct)\s+(?:\[\[.*?\]\]\s*)?(\w+)\s*(?:final\s*)?(?::.*)?$",
                        re.S)
NAMESPACE_HEAD = re.compile(r"^(?:inline\s+)?namespace(?:\s+([\w:]+))?$")


def strip(text):
    """The text without comments, string and character literals (each literal left as "")."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
            out.append(" ")
        elif c == "R" and text.startswith('R"', i):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            i = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""')
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            i = j + 1
            out.append('""')
        elif c == "#":  # preprocessor lines are no declarations
            j = i
            while True:
                j = text.find("\n", j)
                if j < 0 or text[j - 1] != "\\":
                    break
                j += 1
            i = n if j < 0 else j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def definitions(text):
    """Qualified names of the classes defined at namespace or class scope, outside unnamed
    namespaces."""
    found = []
    stack = []  # (kind, name): kind is "namespace", "anonymous", "class", "block"
    head = []
    for c in strip(text):
        if c == "{":
            statement = " ".join("".join(head).split())
            head = []
            m = NAMESPACE_HEAD.match(statement)
            if m:
                stack.append(("namespace", m.group(1)) if m.group(1) else ("anonymous", None))
                continue
            if statement.startswith('extern ""'):
                stack.append(("namespace", None))  # a linkage block adds no scope
                continue
            m = CLASS_HEAD.match(statement)
            if m and all(kind in ("namespace", "class") for kind, _ in stack):
                scope = [name for _, name in stack if name] + [m.group(1)]
                found.append("::".join(scope))
                stack.append(("class", m.group(1)))
            else:
                stack.append(("block", None))
        elif c == "}":
            head = []
            if stack:
                stack.pop()
        elif c == ";":
            head = []
        else:
            head.append(c)
    return found


def scan(root, folders):
    where = {}
    for folder in folders:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")) or name.endswith(NATIVE_ONLY):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for qualified in set(definitions(f.read())):
                        where.setdefault(qualified, []).append(os.path.relpath(path, root))
    return {name: files for name, files in where.items() if len(files) > 1}


def self_test():
    sample = '''
    #define X struct Macro {
    namespace kv {
    class Forward;
    struct Point { int x; };
    namespace { class Hidden { }; }
    class Widget final : public Base<int> {
        struct Part { };
        void f() { struct Local { }; }
    };
    enum class Colour { Red };
    const char* text = "class Fake {";
    // class Commented {
    namespace inner { template <typename T> class Box { }; }
    }
    extern "C" { struct Plain { }; }
    '''
    got = sorted(definitions(sample))
    want = sorted(["kv::Point", "kv::Widget", "kv::Widget::Part", "kv::inner::Box", "Plain"])
    if got != want:
        print("scanner self-test: found %s, expected %s" % (got, want))
        return False
    return True


def main(argv):
    if not self_test():
        return 1
    root, folders = argv[1], argv[2:]
    twice = scan(root, folders)
    for name, files in sorted(twice.items()):
        print("%s is defined in %s" % (name, ", ".join(sorted(files))))
    print("%d class names defined more than once in %s" % (len(twice), ", ".join(folders)))
    return 1 if twice else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
