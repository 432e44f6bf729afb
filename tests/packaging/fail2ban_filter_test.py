#!/usr/bin/env python3
"""The fail2ban filter over a recorded velgated log, in each form fail2ban reads it.

usage: fail2ban_filter_test.py FILTER LOG JAIL UNIT

The filter's failregex and ignoreregex are read as fail2ban reads them (%(name)s
interpolation, one regex a line) and <HOST> becomes fail2ban's address group. The log is
velgated's standard error; each line is then also given as the journal hands it to fail2ban's
systemd backend and as a syslog file holds it (fail2ban cuts the date out before matching).
Every refusal must match, with its address; no other line may, the control socket's
refusals least of all (local callers, never an address to ban): the log must hold them for
each of their reasons. The example jail must use this filter and read the journal of the
unit velgated runs as.
"""

import configparser
import ipaddress
import os
import re
import sys

# fail2ban's <HOST>: an IPv4 address (maybe IPv4-mapped), an IPv6 address or a host name.
IP4 = r"(?:\d{1,3}\.){3}\d{1,3}"
IP6 = r"(?:[0-9a-fA-F]{1,4}::?|::){1,7}(?:[0-9a-fA-F]{1,4}|(?<=:):)"
HOST = (r"(?:\[?(?:(?:::f{4,6}:)?(?P<ip4>" + IP4 + r")|(?P<ip6>" + IP6 + r"))\]?"
        r"|(?P<dns>[\w\-.^_]*\w))")

# The refusal line of the log's contract, parsed on its own terms (not with the filter).
REFUSAL = re.compile(r"^<4>refused ip=(\S+) port=(\d+) reason=(\S+)$")
REASONS = {"per-address-limit", "locked-out", "nuisance-web", "nuisance-login",
           "cluster-allow", "monitor-allow", "descriptor-reserve", "rate"}
# A caller the control socket turned away: a local process, which the filter must leave alone.
CONTROL_REFUSAL = re.compile(r"^<4>control refused uid=\d+ pid=\d+ reason=(\S+)$")
CONTROL_REASONS = {"credentials", "too-many"}
# The dates fail2ban's date detector finds at the start of a syslog line.
SYSLOG_DATE = re.compile(r"^(?:[A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d"
                         r"|\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(?:\.\d+)?(?:Z|[+-]\d\d:\d\d))")


def read_filter(path):
    parser = configparser.ConfigParser(interpolation=configparser.BasicInterpolation())
    with open(path, encoding="utf-8") as file:
        parser.read_file(file)
    definition = parser["Definition"]

    def regexes(key):
        lines = [line.strip() for line in definition.get(key, "").splitlines()]
        return [re.compile(line.replace("<HOST>", HOST)) for line in lines if line]

    return regexes("failregex"), regexes("ignoreregex")


def forms(raw):
    """The line as fail2ban matches it: straight from standard error, from the journal, and
    from two syslog files (traditional and RFC 3339 dates), each with its date cut out."""
    message = re.sub(r"^<\d>", "", raw)  # the journal keeps the priority apart
    syslog = [f"Dec  7 04:38:55 gw velgated[4242]: {message}",
              f"2026-12-07T04:38:55.118321+00:00 gw velgated[4242]: {message}"]
    yield "stderr", raw
    yield "journal", f" gw velgated[4242]: {message}"
    for line in syslog:
        yield "syslog", SYSLOG_DATE.sub("", line, count=1)


def address(match):
    """The address a match would ban; what it took when that is no address at all."""
    found = match.group("ip4") or match.group("ip6") or match.group("dns")
    try:
        return str(ipaddress.ip_address(found))
    except ValueError:
        return repr(found)


def check_jail(jail_path, filter_path, unit_path):
    parser = configparser.ConfigParser(interpolation=None)
    with open(jail_path, encoding="utf-8") as file:
        parser.read_file(file)
    jail = parser["velgate"]
    unit = os.path.basename(unit_path)
    wanted = {"filter": os.path.splitext(os.path.basename(filter_path))[0],
              "backend": "systemd", "journalmatch": f"_SYSTEMD_UNIT={unit}"}
    faults = [f"{jail_path}: {key} = {jail.get(key)}, expected {value}"
              for key, value in wanted.items() if jail.get(key) != value]
    if int(jail.get("maxretry", "0")) < 10:
        faults.append(f"{jail_path}: maxretry below ten bans a user whose logger reconnects")
    return faults


def main():
    failregex, ignoreregex = read_filter(sys.argv[1])
    with open(sys.argv[2], encoding="utf-8") as file:
        log = [line.rstrip("\n") for line in file if line.strip()]
    if not failregex:
        print("the filter has no failregex")
        return 1

    faults = []
    reasons_seen = set()
    control_reasons_seen = set()
    for raw in log:
        refusal = REFUSAL.match(raw)
        expected = str(ipaddress.ip_address(refusal.group(1))) if refusal else None
        if refusal:
            reasons_seen.add(refusal.group(3))
        if control := CONTROL_REFUSAL.match(raw):
            control_reasons_seen.add(control.group(1))
        for form, line in forms(raw):
            matches = [m for m in (r.search(line) for r in failregex) if m]
            ignored = any(r.search(line) for r in ignoreregex)
            found = address(matches[0]) if matches and not ignored else None
            if found != expected:
                faults.append(f"{form}: {line!r}: expected {expected}, found {found}")

    faults += check_jail(sys.argv[3], sys.argv[1], sys.argv[4])
    if reasons_seen != REASONS:
        faults.append(f"the log lacks refusals for {sorted(REASONS - reasons_seen)}")
    if control_reasons_seen != CONTROL_REASONS:
        faults.append("the log lacks control refusals for "
                      f"{sorted(CONTROL_REASONS - control_reasons_seen)}")
    for fault in faults:
        print(fault)
    print(f"{len(log)} lines, {len(reasons_seen)} refusal reasons, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
