#!/usr/bin/env python3
"""Endurance run of a share: `zorbix-cli serve` on 127.0.0.1 with a store of 5,000 persons in
three groups (two shared), 20 clients downloading in a loop (a quarter of them dropping their
connection at random points), another program editing the store meanwhile, and one shared group
switched off and on again through the sharing settings. Ends by itself.

  soak.py [--seconds 600] [--build build/release] [--keep]   the run, then the report
  soak.py --short                                           a 40-second try
  soak.py --tls                                             the same against a protected share
  soak.py check WORKDIR                                     the content check of a kept run again
  soak.py report WORKDIR                                    the whole report of a kept run again

The report: downloads completed, failed and dropped; the server's RSS and open descriptors at the
start and at the end; its longest event-loop stall (ZORBIX_STALL_PROBE); and whether every
download held exactly what the store held while it ran. For that the editor keeps a journal: each
change is one atomic file operation, with the wall clock before and after it and a copy of the
bytes written. The check reads the store as it was at the start and the journal's copies with a
vCard reader of its own, computes what each state of the store (with each state of the group
settings) shares, and accepts a download only when its records equal one of the states that held
at some moment between its connect and its end.
"""
import argparse, bisect, hashlib, json, math, os, random, re, signal, subprocess, sys, tempfile, time
from datetime import date, datetime, timezone

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PERSONS = 5000
FRIENDS = "Soak Friends"      # a category: CATEGORIES on the member's card
TEAM_UID = "soak-team-group"  # an Apple-form group card listing its members
OTHER_UID = "soak-other-group"  # a vCard 4.0 group, never shared
FIRST = ["Anna", "Bernd", "Clara", "Dieter", "Eva", "Franz", "Gül", "Hanna", "Ingo", "Jörg", "Käthe", "Lena"]
LAST = ["Huber", "Maier", "Öztürk", "Schmidt", "Wagner", "Bauer", "Gruber", "Müller", "Nowak", "Leitner"]


def ms():
    return time.time() * 1000.0


# ---------------------------------------------------------------- writing cards, as other programs do

def esc(text):
    return text.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;").replace("\n", "\\n")


def fold(line, width=75):
    raw = line.encode()
    if len(raw) <= width:
        return raw
    parts, start = [], 0
    while start < len(raw):  # folds may fall inside a multibyte character, as real writers do
        parts.append(raw[start:start + (width if start == 0 else width - 1)])
        start += width if start == 0 else width - 1
    return b"\r\n ".join(parts)


def person_card(rng, uid, step, friends, style=None):
    style = style or rng.choice(["khard", "apple", "v4"])
    first, last = rng.choice(FIRST), rng.choice(LAST) + str(rng.randrange(100000))
    lines = ["BEGIN:VCARD", "VERSION:" + ("4.0" if style == "v4" else "3.0"), "UID:" + uid,
             "N:%s;%s;;%s;" % (esc(last), esc(first), rng.choice(["", "Dr.", "Mag."])), "FN:%s %s" % (first, last)]
    if rng.random() < 0.8:
        lines.append("ORG:%s;%s" % (esc("Firma %d, GmbH" % rng.randrange(500)), rng.choice(["Sales", "Einkauf"])))
    if rng.random() < 0.5:
        lines.append("TITLE:" + esc(rng.choice(["Buyer", "Head of R&D", "Leiterin; Technik"])))
    kind = "TYPE=INTERNET,WORK" if style != "v4" else "TYPE=work"
    lines.append("EMAIL;%s:%s.%s@example.org" % (kind, first.lower(), last.lower()))
    if rng.random() < 0.5:
        lines.append("EMAIL;TYPE=%s:p%d@mail.example" % ("HOME" if style != "v4" else "home", rng.randrange(10**6)))
    if style == "apple":
        lines += ["item1.TEL:+43 660 %07d" % rng.randrange(10**7), "item1.X-ABLabel:Zweithandy"]
    lines.append("TEL;TYPE=%s:+43 1 %06d" % ("CELL" if style != "v4" else "cell", rng.randrange(10**6)))
    if rng.random() < 0.6:
        lines.append("ADR;TYPE=%s:;;%s;Graz;;80%02d;Österreich" % (
            "WORK" if style != "v4" else "work", esc("Hauptstraße %d" % rng.randrange(200)), rng.randrange(100)))
    if rng.random() < 0.5:
        lines.append("BDAY:" + ("%04d-%02d-%02d" if style != "apple" else "%04d%02d%02d") % (
            rng.randrange(1940, 2005), rng.randrange(1, 13), rng.randrange(1, 29)))
    lines.append("NOTE:" + esc("step %d: met at the fair, %s; talk again.\nLänger: %s" % (
        step, rng.choice(["spring", "autumn"]), "x" * rng.randrange(0, 120))))
    lines.append("REV:%s" % datetime.fromtimestamp(1700000000 + step, timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"))
    if friends:
        lines.append("CATEGORIES:" + esc(FRIENDS))
    lines.append("X-SOAK-STYLE:" + style)
    lines.append("END:VCARD")
    eol = b"\n" if style == "v4" else b"\r\n"
    return eol.join(fold(line) for line in lines) + eol


def group_card(uid, name, members, form):
    if form == "apple":
        lines = ["BEGIN:VCARD", "VERSION:3.0", "UID:" + uid, "N:" + esc(name), "FN:" + esc(name),
                 "X-ADDRESSBOOKSERVER-KIND:group"]
        lines += ["X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:" + m for m in sorted(members)]
    else:
        lines = ["BEGIN:VCARD", "VERSION:4.0", "UID:" + uid, "FN:" + esc(name), "KIND:group"]
        lines += ["MEMBER:urn:uuid:" + m for m in sorted(members)]
    lines.append("END:VCARD")
    return b"\r\n".join(fold(line) for line in lines) + b"\r\n"


def write_atomic(path, data):
    tmp = path + ".tmp"  # not an item of the vdir
    with open(tmp, "wb") as f:
        f.write(data)
    os.rename(tmp, path)


def make_store(store, rng):
    os.makedirs(store)
    team, other = set(), set()
    for i in range(PERSONS):
        uid = "p%05d" % i
        r = rng.random()
        friends = r < 0.45 or 0.85 <= r < 0.92
        if 0.40 <= r < 0.85:
            team.add(uid)
        if r >= 0.92 or rng.random() < 0.1:
            other.add(uid)
        with open(os.path.join(store, uid + ".vcf"), "wb") as f:
            f.write(person_card(rng, uid, 0, friends))
    with open(os.path.join(store, TEAM_UID + ".vcf"), "wb") as f:
        f.write(group_card(TEAM_UID, "Soak Team", team, "apple"))
    with open(os.path.join(store, OTHER_UID + ".vcf"), "wb") as f:
        f.write(group_card(OTHER_UID, "Soak Other", other, "v4"))


# ---------------------------------------------------------------- the editor (another program)

def edit(store, journal, seconds, seed):
    rng = random.Random(seed)
    os.makedirs(journal, exist_ok=True)
    log = open(os.path.join(journal, "journal.jsonl"), "w")
    team = set(re.findall(r"urn:uuid:(\S+)", open(os.path.join(store, TEAM_UID + ".vcf")).read()))
    end, step, serial = ms() + seconds * 1000, 0, 0
    while ms() < end:
        step += 1
        persons = [n for n in os.listdir(store) if n.endswith(".vcf") and not n.startswith("soak-")]
        r = rng.random()
        if r < 0.45 or len(persons) < 100:
            op, name = "write", rng.choice(persons)
            data = person_card(rng, name[:-4], step, rng.random() < 0.5)
        elif r < 0.65:
            serial += 1
            op, name = "write", "n%05d-%d.vcf" % (step, serial)
            data = person_card(rng, name[:-4], step, rng.random() < 0.5)
        elif r < 0.85:
            op, name, data = "remove", rng.choice(persons), None
        else:
            for uid in rng.sample(sorted(team), min(5, len(team))):
                team.discard(uid)
            for name in rng.sample(persons, 8):
                team.add(name[:-4])
            op, name, data = "write", TEAM_UID + ".vcf", group_card(TEAM_UID, "Soak Team", team, "apple")
        entry = {"i": step, "op": op, "file": name}
        if data is not None:
            entry["copy"] = "%06d.vcf" % step
            with open(os.path.join(journal, entry["copy"]), "wb") as f:
                f.write(data)
        entry["tb"] = math.floor(ms())
        if data is not None:
            write_atomic(os.path.join(store, name), data)
        else:
            os.unlink(os.path.join(store, name))
        entry["ta"] = math.ceil(ms())
        log.write(json.dumps(entry) + "\n")
        log.flush()
        time.sleep(rng.uniform(0.05, 0.35))


# ---------------------------------------------------------------- reading cards, independently

def unfold(data):
    text = re.sub(rb"\r?\n[ \t]", b"", data).decode("utf-8")
    return [l for l in re.split(r"\r?\n", text) if l]


def unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            i += 1
            out.append("\n" if value[i] in "nN" else value[i])
        else:
            out.append(c)
        i += 1
    return "".join(out)


def split_esc(value, sep):
    parts, cur, i = [], [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            cur.append(value[i:i + 2])
            i += 2
            continue
        if value[i] == sep:
            parts.append("".join(cur))
            cur = []
        else:
            cur.append(value[i])
        i += 1
    parts.append("".join(cur))
    return [unescape(p) for p in parts]


LABELS = {"work": "work", "home": "home", "cell": "mobile", "other": "other"}


def parse_card(data):
    """(uid, kind, travelling person, categories, members) of one card as this reader sees it."""
    person, emails, phones, addresses, cats, members, kind, uid = {}, [], [], [], [], set(), "person", None
    item_labels = {}
    lines = unfold(data)
    for line in lines:
        head, _, value = line.partition(":")
        m = re.match(r"(item\d+)\.X-ABLabel$", head, re.I)
        if m:
            item_labels[m.group(1).lower()] = value
    for line in lines:
        head, _, value = line.partition(":")
        params = head.split(";")
        group, _, name = params[0].rpartition(".")
        name = name.upper()
        types = []
        for p in params[1:]:
            k, _, v = p.partition("=")
            if k.upper() == "TYPE":
                types += [t.lower() for t in v.split(",")]
        label = next((LABELS[t] for t in types if t in LABELS), None)
        if group and group.lower() in item_labels:
            label = item_labels[group.lower()]
        if name == "UID":
            uid = value
        elif name in ("KIND", "X-ADDRESSBOOKSERVER-KIND") and value.lower() == "group":
            kind = "group"
        elif name in ("MEMBER", "X-ADDRESSBOOKSERVER-MEMBER"):
            members.add(re.sub(r"^urn:uuid:", "", value, flags=re.I).lower())
        elif name == "N":
            parts = split_esc(value, ";") + [""] * 5
            for key, part in zip(["Last", "First", "Middle", "Title", "Suffix"], parts):
                if part:
                    person[key] = part
        elif name == "ORG":
            parts = split_esc(value, ";") + [""]
            if parts[0]:
                person["Organization"] = parts[0]
            if parts[1]:
                person["Department"] = parts[1]
        elif name == "TITLE":
            person["JobTitle"] = unescape(value)
        elif name == "NOTE":
            person["Note"] = unescape(value)
        elif name == "EMAIL":
            emails.append({label or "other": value})
        elif name == "TEL":
            phones.append({label or "other": value})
        elif name == "ADR":
            parts = split_esc(value, ";") + [""] * 7
            keys = ["POBox", "Extended", "Street", "City", "State", "ZIP", "Country"]
            addresses.append({label or "other": {k: p for k, p in zip(keys, parts) if p}})
        elif name == "BDAY":
            d = re.sub(r"-", "", value)
            day = datetime(int(d[0:4]), int(d[4:6]), int(d[6:8]), 12, tzinfo=timezone.utc)
            person["Birthday"] = "@%d" % (day.timestamp() * 1000)
        elif name == "REV":
            rev = datetime.strptime(value, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
            person["Modification"] = "@%d" % (rev.timestamp() * 1000)
        elif name == "CATEGORIES":
            cats += split_esc(value, ",")
    for key, values in (("Email", emails), ("Phone", phones), ("Address", addresses)):
        if values:
            person[key] = values
    return uid, kind, person, cats, members


def person_hash(person):
    line = json.dumps(person, sort_keys=True, ensure_ascii=False, separators=(",", ":"))
    return int.from_bytes(hashlib.sha256(line.encode()).digest()[:16], "big")


class StoreModel:
    """What the store shares, kept up to date one journal operation at a time, for each state of
    the group settings (FRIENDS and the team shared, or the team only)."""
    SETTINGS = ("both", "team")

    def __init__(self, store_dir):
        self.files = {}  # file -> (uid, kind, hash, friends)
        self.team = set()
        self.sums = {s: [0, 0] for s in self.SETTINGS}
        for name in sorted(os.listdir(store_dir)):
            if name.endswith(".vcf"):
                self.apply(name, open(os.path.join(store_dir, name), "rb").read())

    def shared(self, entry, setting):
        uid, kind, _, friends = entry
        return kind == "person" and ((friends and setting == "both") or uid.lower() in self.team)

    def contribute(self, entries, sign):
        for e in entries:
            for s in self.SETTINGS:
                if self.shared(e, s):
                    self.sums[s][0] = (self.sums[s][0] + sign * e[2]) % (1 << 128)
                    self.sums[s][1] += sign

    def apply(self, name, data):
        old = self.files.pop(name, None)
        new = None
        if data is not None:
            uid, kind, person, cats, members = parse_card(data)
            new = (uid, kind, person_hash(person), FRIENDS in cats)
            if uid == TEAM_UID:
                added = members ^ self.team
                touched = [e for e in self.files.values() if e[0].lower() in added]
                self.contribute(touched, -1)
                self.team = members
                self.contribute(touched, +1)
        if old:
            self.contribute([old], -1)
        if new:
            self.files[name] = new
            self.contribute([new], +1)

    def digests(self):
        return {s: ("%032x" % self.sums[s][0], self.sums[s][1]) for s in self.SETTINGS}


def check(work):
    """Every completed download against the states that held while it ran; returns (checked, bad)."""
    model = StoreModel(os.path.join(work, "store-at-start"))
    states = [(0, model.digests())]  # (time from which it may hold, digests)
    ends = []
    for line in open(os.path.join(work, "journal", "journal.jsonl")):
        e = json.loads(line)
        copy = e.get("copy")
        model.apply(e["file"], open(os.path.join(work, "journal", copy), "rb").read() if copy else None)
        ends.append(e["ta"])  # the state before holds at most until then
        states.append((e["tb"], model.digests()))
    ends.append(float("inf"))
    toggles = [json.loads(l) for l in open(os.path.join(work, "groups.jsonl"))]
    settings = [("both", 0)] + [(t["setting"], t["tb"]) for t in toggles]
    setting_ends = [t["ta"] for t in toggles] + [float("inf")]
    checked, bad = 0, []
    for line in open(os.path.join(work, "clients.jsonl")):
        d = json.loads(line)
        if d["kind"] != "ok":
            continue
        checked += 1
        t0, t1 = d["t0"], d["t1"] + 1
        held = set()
        first = bisect.bisect_left(ends, t0)  # states that ended before t0 cannot be it
        for i in range(first, len(states)):
            if states[i][0] > t1:
                break
            for j, (setting, start) in enumerate(settings):
                if start <= t1 and setting_ends[j] >= t0:
                    held.add(states[i][1][setting])
        if (d["h"], d["n"]) not in held:
            bad.append(d)
    return checked, bad


# ---------------------------------------------------------------- the run

def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def proc_figures(pid):
    status = open("/proc/%d/status" % pid).read()
    rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
    return rss, len(os.listdir("/proc/%d/fd" % pid))


def fd_kinds(pid):
    kinds = {}
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = re.sub(r"\[\d+\]|:\d+$", "", os.readlink("/proc/%d/fd/%s" % (pid, fd)))
        except OSError:
            continue
        kinds[target] = kinds.get(target, 0) + 1
    return ", ".join("%s %d" % kv for kv in sorted(kinds.items()))


def run(args):
    build = os.path.abspath(args.build)
    cli, client = os.path.join(build, "src/cli/zorbix-cli"), os.path.join(build, "bench/soakclient")
    work = tempfile.mkdtemp(prefix="zorbix-soak-")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_CACHE_HOME=os.path.join(work, "cache"),
               ZORBIX_STALL_PROBE="10")
    rng = random.Random(args.seed)
    store = os.path.join(work, "store")
    make_store(store, rng)
    subprocess.run(["cp", "-a", store, os.path.join(work, "store-at-start")], check=True)
    groups = json.loads(subprocess.run([cli, "list", "--json", "--addressbook", store], env=env, check=True,
                                       capture_output=True).stdout)["groups"]
    friends_uid = next(g["uid"] for g in groups if g["name"] == FRIENDS)
    subprocess.run([client, "groups", "--addressbook", store, "--share", friends_uid, "--share", TEAM_UID],
                   env=env, check=True)
    protection, client_env = [], env
    if args.tls:
        # The clients have an identity of their own, which the share lets in without asking.
        client_env = dict(env, XDG_DATA_HOME=os.path.join(work, "client-data"))
        identity = subprocess.run([cli, "identity"], env=client_env, check=True, capture_output=True, text=True)
        protection = ["--protected", "--allow", re.search(r"Fingerprint: (.+)", identity.stdout).group(1)]
    serve_log = open(os.path.join(work, "serve.log"), "w")
    server = subprocess.Popen([cli, "serve", "--addressbook", store, "--port", "0", "--no-announce"] + protection,
                              env=env,
                              stdout=subprocess.PIPE, stderr=open(os.path.join(work, "serve.err"), "w"), text=True)
    port = int(re.search(r"on port (\d+)", server.stdout.readline()).group(1))
    # The server's output goes to a file from here on, read by a thread so it never blocks.
    import threading
    threading.Thread(target=lambda: [serve_log.write(l) or serve_log.flush() for l in server.stdout],
                     daemon=True).start()
    time.sleep(1)
    figures = {"idle at start": proc_figures(server.pid)}
    cpu_start = cpu_seconds(server.pid)
    fds = {"idle at start": fd_kinds(server.pid)}
    load = [os.getloadavg()]
    seconds = args.seconds
    editor = subprocess.Popen([sys.executable, __file__, "edit", store, os.path.join(work, "journal"),
                               str(seconds), str(args.seed + 1)])
    # Five processes of four clients, one of them dropping: a client's digest costs CPU time, and
    # one process for all would get one core's share on a loaded machine.
    outputs = [os.path.join(work, "clients-%d.jsonl" % p) for p in range(5)]
    clients = [subprocess.Popen([client, "run", "--port", str(port), "--seconds", str(seconds), "--clients", "4",
                                 "--droppers", "1", "--first", str(4 * p), "--seed", str(args.seed + 2 + p),
                                 "--tls", "1" if args.tls else "0"],
                                stdout=open(outputs[p], "w"), env=client_env) for p in range(5)]
    started = time.time()
    toggles = open(os.path.join(work, "groups.jsonl"), "w")
    plan = [(seconds / 3, "team", "--unshare"), (2 * seconds / 3, "both", "--share")]
    samples = []
    while any(c.poll() is None for c in clients):
        time.sleep(1)
        now = time.time() - started
        samples.append((round(now), *proc_figures(server.pid)))
        if plan and now >= plan[0][0]:
            _, setting, option = plan.pop(0)
            tb = math.floor(ms())
            subprocess.run([client, "groups", option, friends_uid], env=env, check=True)
            toggles.write(json.dumps({"setting": setting, "tb": tb, "ta": math.ceil(ms())}) + "\n")
            toggles.flush()
        if round(now) % 30 == 0:
            load.append(os.getloadavg())
    editor.wait()
    with open(os.path.join(work, "clients.jsonl"), "w") as merged:
        for path in outputs:
            merged.write(open(path).read())
    load.append(os.getloadavg())
    toggles.close()
    cpu = cpu_seconds(server.pid) - cpu_start
    time.sleep(2)  # closed connections are gone
    figures["2 s after the load"] = proc_figures(server.pid)
    fds["2 s after the load"] = fd_kinds(server.pid)
    time.sleep(33)  # the encoding threads of the pool end after 30 s without work
    figures["35 s after the load"] = proc_figures(server.pid)
    fds["35 s after the load"] = fd_kinds(server.pid)
    server.send_signal(signal.SIGUSR1)
    time.sleep(0.5)
    server.send_signal(signal.SIGTERM)
    server.wait(timeout=30)
    time.sleep(0.2)
    serve_log.close()
    with open(os.path.join(work, "figures.json"), "w") as f:
        json.dump({"figures": figures, "fds": fds, "samples": samples, "load": load, "seconds": seconds,
                   "cpu": cpu, "tls": args.tls}, f)
    report(work)
    if not args.keep:
        subprocess.run(["rm", "-rf", work])


def report(work):
    saved = json.load(open(os.path.join(work, "figures.json")))
    figures, fds, samples, load, seconds = (saved[k] for k in ("figures", "fds", "samples", "load", "seconds"))
    kinds = {}
    lines = [json.loads(l) for l in open(os.path.join(work, "clients.jsonl"))]
    for d in lines:
        kinds[d["kind"]] = kinds.get(d["kind"], 0) + 1
    journal = sum(1 for _ in open(os.path.join(work, "journal", "journal.jsonl")))
    serve_text = open(os.path.join(work, "serve.log")).read()
    stalls = re.findall(r"longest stall ([\d.]+) ms in (\d+) ticks of \d+ ms; longest busy ([\d.]+) ms",
                        serve_text)[-1:]
    checked, bad = check(work)
    counts = sorted({d["n"] for d in lines if d["kind"] == "ok"})
    print("soak run of %d s in %s%s" % (seconds, work, " (protected share, TLS)" if saved.get("tls") else ""))
    print("downloads: %d completed, %d failed, %d dropped on purpose (%s)" % (
        kinds.get("ok", 0), kinds.get("failed", 0), kinds.get("dropped", 0),
        ", ".join("%s %d" % (h, sum(1 for d in lines if d.get("how") == h))
                  for h in ("part-request", "after-connect", "mid-answer"))))
    for d in [d for d in lines if d["kind"] == "failed"][:5]:
        print("  failed:", json.dumps(d))
    print("server answers logged: %d; store edits: %d; group switches: %d" % (
        serve_text.count("served "), journal, sum(1 for _ in open(os.path.join(work, "groups.jsonl")))))
    closes = {}
    for why in re.findall(r"^connection from \S+ (.+)$", serve_text, re.M):
        closes[why] = closes.get(why, 0) + 1
    print("server closes other than served: %s" % ("; ".join("%s: %d" % c for c in sorted(closes.items())) or "none"))
    print("records per download: %d to %d" % (counts[0], counts[-1]) if counts else "no download completed")
    for name, (rss, count) in figures.items():
        print("server %-19s RSS %7.1f MB, %d descriptors" % (name + ":", rss / 1024, count))
    for name, kinds in fds.items():
        print("descriptors %s: %s" % (name, kinds))
    # Under load the RSS swings with the answers in flight: compare the mean of a minute (a sixth
    # of a short run) after the warm-up with the mean of the last one.
    span = max(5, min(60, seconds // 6))
    early = [s for s in samples if span <= s[0] < 2 * span]
    late = [s for s in samples if seconds - span <= s[0] < seconds]
    if early and late:
        a, b = sum(s[1] for s in early) / len(early), sum(s[1] for s in late) / len(late)
        print("server under load: RSS mean %.1f MB in s %d-%d, %.1f MB in s %d-%d (%+.1f %%); peak %.1f MB; "
              "descriptors %d to %d" % (a / 1024, span, 2 * span, b / 1024, seconds - span, seconds,
                                         100.0 * (b - a) / a, max(s[1] for s in samples) / 1024,
                                         min(s[2] for s in samples), max(s[2] for s in samples)))
    print("server CPU time under load: %.1f s (user + system), %.0f %% of one core" % (
        saved["cpu"], 100.0 * saved["cpu"] / seconds))
    print("longest event-loop stall: %s" % (
        ", ".join("%s ms wall, %s ms of it busy on the loop's thread (%s ticks of 10 ms)" % (s[0], s[2], s[1])
                  for s in stalls) or "not reported"))
    print("content: %d downloads checked, %d did not hold what the store held" % (checked, len(bad)))
    for d in bad[:5]:
        print("  wrong:", json.dumps(d))
    print("load average (1, 5, 15 min): at the start %.2f %.2f %.2f, highest 1-min %.2f, at the end %.2f %.2f %.2f"
          % (*load[0], max(l[0] for l in load), *load[-1]))


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "edit":
        edit(sys.argv[2], sys.argv[3], float(sys.argv[4]), int(sys.argv[5]))
        return
    if len(sys.argv) > 1 and sys.argv[1] == "report":
        report(sys.argv[2])
        return
    if len(sys.argv) > 1 and sys.argv[1] == "check":
        checked, bad = check(sys.argv[2])
        print("%d downloads checked, %d did not hold what the store held" % (checked, len(bad)))
        sys.exit(1 if bad else 0)
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=int, default=600)
    parser.add_argument("--short", action="store_true", help="a 40-second try")
    parser.add_argument("--build", default=os.path.join(ROOT, "build/release"))
    parser.add_argument("--seed", type=int, default=20)
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    parser.add_argument("--tls", action="store_true", help="a protected share: TLS with an approved client")
    args = parser.parse_args()
    if args.short:
        args.seconds = 40
    run(args)


if __name__ == "__main__":
    main()
