#!/usr/bin/env python3
"""Compares scrivane-print --form-text with Free Pascal's ObjectBinaryToText.

usage: compare.py SCRIVANE_PRINT REFDIR LISTFILE

REFDIR holds what formconv wrote for the forms of LISTFILE (NNNN.dfm,
NNNN.txt). Each binary form is converted by scrivane-print, and so is the
original text form; both are compared with fpc's text after a layout-free
normalising: blanks and line breaks between tokens are ignored, quoted texts
are compared as their character codes ('a'#233 equals raw byte 233), binary
values as their bytes, floats as numbers.
"""
import os
import re
import subprocess
import sys

NUMBER = re.compile(rb'[-+]?(?:\d+(?:\.\d+)?(?:[eE][-+]?\d+)?|Inf|Nan|inf|nan)')


def tokens(text):
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c <= 32:
            i += 1
        elif c in b"'#"[0:1] or c == ord('#') or c == ord("'"):
            codes = []
            while i < n and text[i] in (ord("'"), ord('#')):
                if text[i] == ord("'"):
                    i += 1
                    while i < n:
                        if text[i] == ord("'"):
                            if i + 1 < n and text[i + 1] == ord("'"):
                                codes.append(39)
                                i += 2
                                continue
                            i += 1
                            break
                        codes.append(text[i])
                        i += 1
                else:
                    j = i + 1
                    while j < n and chr(text[j]).isdigit():
                        j += 1
                    codes.append(int(text[i + 1:j] or b'0'))
                    i = j
            out.append(('S', tuple(codes)))
        elif c == ord('{'):
            j = text.index(b'}', i)
            out.append(('B', bytes(re.sub(rb'\s', b'', text[i + 1:j]).upper())))
            i = j + 1
        elif chr(c).isdigit() or (c in b'-+' and i + 1 < n and chr(text[i + 1]).isdigit()):
            m = NUMBER.match(text, i)
            s = m.group(0)
            if re.fullmatch(rb'[-+]?\d+', s):
                out.append(('N', int(s)))
            else:
                out.append(('N', float(s)))
            i = m.end()
        elif chr(c).isalpha() or c == ord('_'):
            j = i
            while j < n and (chr(text[j]).isalnum() or text[j] in b'_.'):
                j += 1
            out.append(('W', text[i:j]))
            i = j
        else:
            out.append(('C', c))
            i += 1
    return out


def same(ours, theirs):
    if len(ours) != len(theirs):
        return False
    for a, b in zip(ours, theirs):
        if a[0] != b[0]:
            return False
        if a[0] == 'N' and isinstance(a[1], float) or isinstance(b[1], float):
            if float(a[1]) != float(b[1]) and not (a[1] != a[1] and b[1] != b[1]):
                return False
        elif a != b:
            return False
    return True


def run(tool, path):
    p = subprocess.run([tool, '--form-text', path], capture_output=True)
    return p.returncode, p.stdout, p.stderr


def main():
    tool, refdir, listfile = sys.argv[1:4]
    sources = [l.rstrip('\n') for l in open(listfile, encoding='utf-8', errors='surrogateescape') if l.strip()]
    counts = {'forms': 0, 'fpc_failed': 0, 'binary_exact': 0, 'binary_same': 0, 'text_same': 0,
              'crlf_every_line': 0, 'blanks_removed_equal': 0}
    differ = []
    for k, source in enumerate(sources, 1):
        stem = os.path.join(refdir, '%04d' % k)
        counts['forms'] += 1
        if not os.path.exists(stem + '.txt'):
            counts['fpc_failed'] += 1
            continue
        reference = open(stem + '.txt', 'rb').read()
        want = tokens(reference)
        rc, ours, err = run(tool, stem + '.dfm')
        if rc == 0 and ours == reference.replace(b'\n', b'\r\n'):
            counts['binary_exact'] += 1
        if rc == 0 and ours.endswith(b'\r\n') and b'\n' not in ours.replace(b'\r\n', b''):
            counts['crlf_every_line'] += 1
        if rc == 0 and re.sub(rb'\s', b'', ours) == re.sub(rb'\s', b'', reference):
            counts['blanks_removed_equal'] += 1
        if rc == 0 and same(tokens(ours), want):
            counts['binary_same'] += 1
        else:
            differ.append(('binary', source, err.decode(errors='replace').strip()))
        rc, ours_text, err = run(tool, source)
        if rc == 0 and same(tokens(ours_text), want):
            counts['text_same'] += 1
        else:
            differ.append(('text', source, err.decode(errors='replace').strip()))
    ok = counts['forms'] - counts['fpc_failed']
    print('forms: %d, converted by fpc: %d' % (counts['forms'], ok))
    print('binary form -> text, same as fpc after layout-free normalising: %d of %d' % (counts['binary_same'], ok))
    print('binary form -> text, byte-equal to fpc (LF -> CR LF):          %d of %d' % (counts['binary_exact'], ok))
    print('binary form -> text, equal to fpc once every blank is removed: %d of %d' % (counts['blanks_removed_equal'], ok))
    print('text form   -> text, same as fpc after layout-free normalising: %d of %d' % (counts['text_same'], ok))
    print('outputs with CR LF after every line:                            %d of %d' % (counts['crlf_every_line'], ok))
    for kind, source, err in differ[:20]:
        print('differs (%s): %s %s' % (kind, source, err))
    return 0 if counts['binary_same'] == ok and counts['text_same'] == ok else 1


if __name__ == '__main__':
    sys.exit(main())
