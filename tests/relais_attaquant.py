#!/usr/bin/env python3
"""Someone on the line between station A and the cable: passes everything on, except A's
first file end (the short sealed frame that follows its slices). That one it drops, and in
its place it writes to A, in clear, a link test and then "OKFICHIER".

Usage: relais_attaquant.py PORT_ECOUTE PORT_CABLE
Prints "attaque" once it has struck.
"""
import selectors
import socket
import sys

STX = 2
SURCOUT_SCELLE = 2 + 16  # counter, tag


def trame(texte: bytes) -> bytes:
    n = len(texte)
    return bytes([STX, n >> 16, (n >> 8) & 0xFF, n & 0xFF]) + texte


class Sens:
    """A's frames as they go, one at a time."""

    def __init__(self):
        self.tampon = b""
        self.grosses = 0  # slices seen so far
        self.frappe = False

    def passer(self, octets: bytes):
        """What goes on, and what goes back to A instead of a dropped frame."""
        self.tampon += octets
        sortie, vers_a = b"", b""
        while True:
            debut = self.tampon.find(bytes([STX]))
            if debut < 0:
                sortie += self.tampon
                self.tampon = b""
                break
            sortie += self.tampon[:debut]
            self.tampon = self.tampon[debut:]
            if len(self.tampon) < 4:
                break
            n = (self.tampon[1] << 16) | (self.tampon[2] << 8) | self.tampon[3]
            if len(self.tampon) < 4 + n:
                break
            t, self.tampon = self.tampon[: 4 + n], self.tampon[4 + n :]
            if n > 200:
                self.grosses += 1
            if not self.frappe and self.grosses > 0 and n == SURCOUT_SCELLE + len(b"XFFIN"):
                self.frappe = True
                vers_a += trame(b"YAQUELQUUN?") + trame(b"OKFICHIER")
                print("attaque", flush=True)
                continue
            sortie += t
        return sortie, vers_a


def main():
    ecoute, cable = int(sys.argv[1]), int(sys.argv[2])
    serveur = socket.socket()
    serveur.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    serveur.bind(("127.0.0.1", ecoute))
    serveur.listen(1)
    print("prêt", flush=True)
    sens = Sens()
    while True:
        a, _ = serveur.accept()
        c = socket.create_connection(("127.0.0.1", cable))
        sel = selectors.DefaultSelector()
        sel.register(a, selectors.EVENT_READ)
        sel.register(c, selectors.EVENT_READ)
        ouvert = True
        while ouvert:
            for cle, _ in sel.select():
                octets = cle.fileobj.recv(65536)
                if not octets:
                    ouvert = False
                    break
                if cle.fileobj is a:
                    sortie, vers_a = sens.passer(octets)
                    if sortie:
                        c.sendall(sortie)
                    if vers_a:
                        a.sendall(vers_a)
                else:
                    a.sendall(octets)
        sel.close()
        a.close()
        c.close()


if __name__ == "__main__":
    main()
