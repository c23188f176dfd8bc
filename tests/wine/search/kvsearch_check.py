#!/usr/bin/env python3
"""Runs kvsearch against the substitute service and checks what went over the wire, byte for
byte, from the service's request log. With --wine, the Windows build runs under Wine and its
output must equal the native build's for the same searches.

  kvsearch_check.py --service BIN --data DIR --native KVSEARCH [--wine KVSEARCH.EXE]
"""
import argparse, json, os, re, shutil, subprocess, sys, tempfile, time

ap = argparse.ArgumentParser()
ap.add_argument('--service', required=True)
ap.add_argument('--data', required=True)
ap.add_argument('--native', required=True)
ap.add_argument('--wine')
opt = ap.parse_args()

failures = []
def check(cond, what):
    if not cond:
        failures.append(what)
        print('FAIL:', what)

logdir = tempfile.mkdtemp(prefix='kvsearch-check-')
log = os.path.join(logdir, 'requests.log')
# Port 0: the service binds a free port itself and names it in its first line.
svc = subprocess.Popen([opt.service, '--port', '0', '--data', opt.data, '--log', log],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
try:
    line = svc.stdout.readline().decode()
    m = re.search(r'listening on [0-9.]+:([0-9]+)', line)
    assert m, 'kvservice did not start: %r' % line
    port = int(m.group(1))

    def heads(expected):
        # The usage log request is fire and forget: kvsearch may end before the service has
        # logged it. Wait (bounded) until the expected number of requests stands in the log.
        deadline = time.monotonic() + 10
        lines = []
        while True:
            if os.path.exists(log):
                with open(log) as f:
                    lines = [l for l in f if l.endswith('\n') and l.strip()]
            if len(lines) >= expected or time.monotonic() > deadline:
                break
            time.sleep(0.02)
        check(len(lines) == expected, 'expected %d logged requests, got %d' % (expected, len(lines)))
        return [bytes.fromhex(json.loads(l)['head_hex']) for l in lines]

    def run(args, expected, wine=False):
        open(log, 'w').close()
        cmd = (['wine', opt.wine] if wine else [opt.native]) + ['--service', '127.0.0.1:%d' % port] + args
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        check(r.returncode == 0, '%s exit %d: %s' % (args, r.returncode, r.stderr.decode(errors='replace')))
        return r.stdout, heads(expected)

    def get(target):
        return (b'GET ' + target + b' HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\nAccept: */*\r\n'
                b'Accept-Language: ko\r\nCookie: \r\n\r\n')

    def summary(out):
        return out.decode().splitlines()[-1]

    resume = '이력서'.encode('cp949')
    estimate = '견적서'.encode('cp949')
    tail = b'&version=0.9.96.6&code=kv5830146927713&PID={E}'

    cases = [
        ('typed keyword', ['--host', 'word', '--pid', '{E}', '이력서'],
         [get(b'/k_app/search_weekform.asp'), get(b'/k_app/search_freeform.asp?ext=doc&keyword=' + resume),
          get(b'/k_app/search_certform.asp?ext=doc&keyword=' + resume)],
         get(b'/k_app/search_certform.asp?uflag=10&keyword=' + resume + b'&logtype=keyword&program=doc' + tail)),
        ('empty keyword', ['--host', 'excel', '--pid', '{E}', ''],
         [get(b'/k_app/search_weekform.asp')] + [get(b'/k_app/search_bestform.asp?ext=xls')] * 2, None),
        ('document name', ['--host', 'powerpoint', '--file', '견적서_2013.doc'],
         [get(b'/k_app/search_weekform.asp'),
          get(b'/k_app/search_freeform.asp?ext=ppt&logtype=cfilename&keyword=' + estimate),
          get(b'/k_app/search_certform.asp?ext=ppt&logtype=cfilename&keyword=' + estimate)], None),
        ('ascii document name falls back', ['--host', 'word', '--pid', '{E}', '--file', 'report_2013.doc', 'a b'],
         [get(b'/k_app/search_weekform.asp'), get(b'/k_app/search_freeform.asp?ext=doc&keyword=a+b'),
          get(b'/k_app/search_certform.asp?ext=doc&keyword=a+b')],
         get(b'/k_app/search_certform.asp?uflag=10&keyword=a+b&logtype=keyword&program=doc' + tail)),
    ]
    for name, args, searches, usage in cases:
        out, got = run(args, len(searches) + (1 if usage else 0))
        # The service handles connections in parallel, so the log request (sent first) may be
        # logged after a search request: the search requests keep their order among themselves.
        logs = [h for h in got if b'uflag=' in h]
        rest = [h for h in got if b'uflag=' not in h]
        check(rest == searches, '%s: search requests %r' % (name, rest))
        check(logs == ([usage] if usage else []), '%s: usage log %r' % (name, logs))
        lines = out.decode().splitlines()
        check(len(lines) == 30 and all(len(l.split('\t')) == 12 for l in lines[:29]), '%s: 29 slot lines' % name)
        if opt.wine:
            wout, _ = run(args, len(searches) + (1 if usage else 0), wine=True)
            check(wout == out, '%s: Windows output differs:\n%s\n---\n%s' % (name, wout.decode(errors='replace'),
                                                                            out.decode(errors='replace')))

    out, _ = run(['--host', 'excel', ''], 3)
    lines = [l.split('\t') for l in out.decode().splitlines()[:29]]
    members = [l for l in lines[9:] if l[1] == '1']
    check(members and all(l[2] == '1' for l in members), 'best list: member results all enabled: %r' % members)
    check(summary(out).endswith('more=0 last=1'), 'best list: ' + summary(out))
    # The entry named by --selected is marked; a name the lists do not hold marks nothing.
    name = lines[7][7]
    check(name != '', 'best list: free slot 7 has a file name to select: %r' % lines[7])
    if name:
        out, _ = run(['--host', 'excel', '--selected', name, ''], 3)
        check(summary(out).startswith('selected=8 '), 'selected: ' + summary(out))
    out, _ = run(['--host', 'word', '--selected', 'nothing.doc', '이력서'], 4)
    check(summary(out).startswith('selected=0 ') and 'more=1' in summary(out), 'keyword summary: ' + summary(out))
finally:
    svc.terminate()
    try:
        svc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        svc.kill()
        svc.wait()
    svc.stdout.close()
    shutil.rmtree(logdir, ignore_errors=True)

print('%d failure(s)' % len(failures))
sys.exit(1 if failures else 0)
