#!/usr/bin/python3
"""A reverse proxy in front of Radicale, as most deployments have one, that passes every request
through unchanged, except while a trigger file names a way real proxies go wrong:

    dav_front.py PORT RADICALE-PORT TRIGGER-FILE

"redirect": every request is sent back to itself (301), as a proxy whose rewrite rules loop;
"html": every request gets a sign-in web page (200, text/html), as a proxy whose single sign-on
    has lost its session;
"507": every PUT is refused as over quota (507), as a server in front of the storage that keeps
    a quota does (Radicale 3.1 never answers 507 itself);
"outside": every multistatus also names members of another calendar and another server;
"307 URL": every request is sent on to URL plus its path (307);
"412new": the next PUT of a new member is refused (412) without storing it;
"token STATUS": a sync-collection report with a token gets STATUS, or with "xml" an XML body that
    is no multistatus, as servers answer a token they no longer know;
"501": every sync-collection report gets 501, as from a server without it;
"noetag": PUT answers come without their ETag, as RFC 4791 allows.
"""

import http.client
import os
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOP_BY_HOP = {"connection", "keep-alive", "transfer-encoding", "proxy-connection", "upgrade"}
OWN = {"date", "server", "content-length"}  # the front sends its own
OUTSIDE = b"".join(
    b'<D:response xmlns:D="DAV:"><D:href>%s</D:href><D:propstat><D:prop><D:getetag>"x"</D:getetag>'
    b'</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>' % href
    for href in (b"../other/x.ics", b"/u/other/y.ics", b"http://evil.example/u/cal/evil.ics"))
SIGN_IN = (b"<!DOCTYPE html>\n<html><head><meta charset=utf-8><title>Sign in</title></head>\n"
           b"<body><form method=post><input name=user><input type=password name=pw></form></body></html>\n")


class Front(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.answer
        raise AttributeError(name)

    def log_message(self, *args):
        pass

    def reply(self, status, headers, body):
        self.send_response(status)
        for name, value in headers:
            if name.lower() not in HOP_BY_HOP | OWN:
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def answer(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        try:
            with open(self.server.trigger) as f:
                fault = f.read().strip()
        except FileNotFoundError:
            fault = ""
        words = fault.split()
        sync_report = self.command == "REPORT" and b"sync-collection" in body
        with_token = sync_report and b"sync-token/>" not in body and b"sync-token></" not in body
        if words[:1] == ["307"]:
            self.reply(307, [("Location", words[1].rstrip("/") + self.path)], b"")
        elif fault == "412new" and self.command == "PUT" and self.headers.get("If-None-Match"):
            os.remove(self.server.trigger)
            self.reply(412, [], b"")
        elif words[:1] == ["token"] and with_token or fault == "501" and sync_report:
            status = words[-1]
            if status == "xml":
                self.reply(200, [("Content-Type", "application/xml")], b'<?xml version="1.0"?><error xmlns="DAV:"/>')
            else:
                self.reply(int(status), [("Content-Type", "text/plain")], b"no\n")
        elif fault == "redirect":
            self.reply(301, [("Location", "http://%s%s" % (self.headers["Host"], self.path))], b"")
        elif fault == "html":
            self.reply(200, [("Content-Type", "text/html; charset=utf-8")], SIGN_IN)
        elif fault == "507" and self.command == "PUT":
            self.reply(507, [("Content-Type", "text/plain")], b"Quota exceeded\n")
        else:
            back = http.client.HTTPConnection("127.0.0.1", self.server.back_port)
            headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
            if fault == "outside":
                headers.pop("Accept-Encoding", None)  # to add to the reply as it is
            back.request(self.command, self.path, body, headers)
            answer = back.getresponse()
            headers, data = answer.getheaders(), answer.read()
            if fault == "noetag" and self.command == "PUT":
                headers = [(k, v) for k, v in headers if k.lower() != "etag"]
            if fault == "outside" and answer.status == 207:
                end = data.rindex(b"</")
                data = data[:end] + OUTSIDE + data[end:]
            self.reply(answer.status, headers, data)
            back.close()


def main():
    server = ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Front)
    server.back_port = int(sys.argv[2])
    server.trigger = sys.argv[3]
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()
