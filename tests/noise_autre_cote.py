# The other side of a Noise KK exchange, by an implementation independent of ours.
# Arguments: our private static key, the other's public static key, the prologue (hex).
# Reads the initiator's message in hex, writes the answer; then opens each sealed text it
# reads and sends it back sealed, prefixed with "recu:".
import sys
from dissononce.processing.impl.handshakestate import HandshakeState
from dissononce.processing.impl.symmetricstate import SymmetricState
from dissononce.processing.impl.cipherstate import CipherState
from dissononce.processing.handshakepatterns.interactive.KK import KKHandshakePattern
from dissononce.cipher.chachapoly import ChaChaPolyCipher
from dissononce.dh.x25519.x25519 import X25519DH
from dissononce.dh.x25519.public import PublicKey
from dissononce.dh.x25519.private import PrivateKey
from dissononce.hash.sha256 import SHA256Hash

privee, distante, prologue = (bytes.fromhex(a) for a in sys.argv[1:4])
dh = X25519DH()
etat = HandshakeState(SymmetricState(CipherState(ChaChaPolyCipher()), SHA256Hash()), dh)
etat.initialize(KKHandshakePattern(), False, prologue, s=dh.generate_keypair(PrivateKey(privee)), rs=PublicKey(distante))
etat.read_message(bytes.fromhex(sys.stdin.readline().strip()), bytearray())
reponse = bytearray()
recevoir, envoyer = etat.write_message(b"", reponse)
print(reponse.hex(), flush=True)
for ligne in sys.stdin:
    texte = recevoir.decrypt_with_ad(b"", bytes.fromhex(ligne.strip()))
    print(envoyer.encrypt_with_ad(b"", b"recu:" + texte).hex(), flush=True)
