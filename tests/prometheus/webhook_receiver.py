#!/usr/bin/env python3
"""Alertmanager webhook receiver for the pipeline test.

Listens on 127.0.0.1 at a port the system chooses and writes that port to
PORT_FILE once it listens. Every notification is appended to OUT_FILE, one
line per alert:

    STATUS ALERTNAME adapter=A logical_drive=L physical_drive=P | SUMMARY

(labels the alert lacks are left out), and the raw bodies to OUT_FILE.json.
Usage: webhook_receiver.py PORT_FILE OUT_FILE
"""
import http.server
import json
import os
import sys


def alert_line(alert):
    labels = alert.get("labels", {})
    names = " ".join(f"{k}={labels[k]}" for k in ("adapter", "logical_drive", "physical_drive") if k in labels)
    summary = alert.get("annotations", {}).get("summary", "")
    return f"{alert.get('status')} {labels.get('alertname')} {names} | {summary}\n"


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with open(self.server.out + ".json", "ab") as raw:
            raw.write(body + b"\n")
        try:
            alerts = json.loads(body).get("alerts", [])
        except ValueError:
            alerts = []
        with open(self.server.out, "a", encoding="utf-8") as out:
            for alert in alerts:
                out.write(alert_line(alert))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


def main():
    port_file, out = sys.argv[1], sys.argv[2]
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.out = out
    tmp = port_file + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(str(server.server_address[1]))
    os.rename(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
