// Drives jLHA's "-lh1-" coder on raw streams for the interoperability tests
// and the benchmarks. Our streams carry a 4-byte little-endian length before
// the bit stream; jLHA's raw streams do not, so it is added and stripped here.
//   java LhaRaw.java encode IN OUT      raw encode, length field prepended
//   java LhaRaw.java decode IN OUT      strip the length field, raw decode
//                                       with the dictionary preset to spaces
//   java LhaRaw.java decode-zero IN OUT the same with jLHA's own zero preset
//   java LhaRaw.java archive IN OUT.lzh one-member archive, method -lh1-
//   java LhaRaw.java wrap DATA STREAM OUT.lzh  one-member level-0 archive
//        around our STREAM (of DATA), for lhasa to extract
//   java LhaRaw.java generate KIND SIZE OUT   deterministic test input:
//        random | runs | spaced-text | audio (KIND), SIZE bytes
import java.io.*;
import java.lang.reflect.Field;
import java.nio.file.*;
import java.util.Arrays;
import java.util.Properties;
import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaOutputStream;

public class LhaRaw {
  public static void main(String[] args) throws Exception {
    if (args.length == 4 && args[0].equals("generate")) {
      Files.write(Paths.get(args[3]), generate(args[1], Integer.parseInt(args[2])));
      return;
    }
    if (args.length == 4 && args[0].equals("wrap")) {
      Files.write(Paths.get(args[3]), wrap(Files.readAllBytes(Paths.get(args[1])),
                                           Files.readAllBytes(Paths.get(args[2]))));
      return;
    }
    if (args.length != 3) {
      System.err.println("usage: LhaRaw encode|decode|decode-zero|archive IN OUT");
      System.exit(2);
    }
    byte[] in = Files.readAllBytes(Paths.get(args[1]));
    byte[] out;
    switch (args[0]) {
      case "encode": out = encode(in); break;
      case "decode": out = decode(in, true); break;
      case "decode-zero": out = decode(in, false); break;
      case "archive": out = archive(in, Paths.get(args[1]).getFileName().toString()); break;
      default: System.err.println("LhaRaw: unknown mode " + args[0]); System.exit(2); return;
    }
    Files.write(Paths.get(args[2]), out);
  }

  static byte[] encode(byte[] data) throws IOException {
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    int n = data.length;
    bytes.write(new byte[] {(byte) n, (byte) (n >>> 8), (byte) (n >>> 16), (byte) (n >>> 24)});
    OutputStream coder = CompressMethod.connectEncoder(bytes, CompressMethod.LH1, new Properties());
    coder.write(data);
    coder.close();
    return bytes.toByteArray();
  }

  // Our streams start from a dictionary of spaces; jLHA starts "-lh1-" from
  // zeros. Both leave the first write position irrelevant once the whole
  // dictionary holds one value, so presetting jLHA's buffer to spaces makes
  // it decode our format.
  static byte[] decode(byte[] stream, boolean spaces) throws Exception {
    long n = (stream[0] & 0xFFL) | (stream[1] & 0xFFL) << 8 | (stream[2] & 0xFFL) << 16
        | (stream[3] & 0xFFL) << 24;
    InputStream coder = CompressMethod.connectDecoder(
        new ByteArrayInputStream(stream, 4, stream.length - 4), CompressMethod.LH1,
        new Properties(), n);
    if (spaces) {
      Field text = coder.getClass().getDeclaredField("TextBuffer");
      text.setAccessible(true);
      Arrays.fill((byte[]) text.get(coder), (byte) ' ');
    }
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    byte[] buffer = new byte[65536];
    for (int got; (got = coder.read(buffer)) > 0;) bytes.write(buffer, 0, got);
    return bytes.toByteArray();
  }

  static byte[] archive(byte[] data, String name) throws IOException {
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    LhaOutputStream archive = new LhaOutputStream(bytes);
    LhaHeader header = new LhaHeader(name);
    header.setCompressMethod(CompressMethod.LH1);
    archive.putNextEntry(header);
    archive.write(data);
    archive.closeEntry();
    archive.close();
    return bytes.toByteArray();
  }

  // A level-0 LHA header (method -lh1-, CRC-16 of the data) in front of the
  // bit stream of `stream` (our length field dropped), and the end mark.
  static byte[] wrap(byte[] data, byte[] stream) throws IOException {
    int crc = 0;
    for (byte b : data) {
      crc ^= b & 0xFF;
      for (int i = 0; i < 8; ++i) crc = (crc & 1) != 0 ? (crc >>> 1) ^ 0xA001 : crc >>> 1;
    }
    byte[] name = "data.bin".getBytes("US-ASCII");
    java.nio.ByteBuffer body = java.nio.ByteBuffer.allocate(22 + name.length)
        .order(java.nio.ByteOrder.LITTLE_ENDIAN);
    body.put("-lh1-".getBytes("US-ASCII")).putInt(stream.length - 4).putInt(data.length)
        .putInt(0x5A000021).put((byte) 0x20).put((byte) 0).put((byte) name.length).put(name)
        .putShort((short) crc);
    byte[] header = body.array();
    int sum = 0;
    for (byte b : header) sum += b & 0xFF;
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.write(header.length);
    out.write(sum & 0xFF);
    out.write(header);
    out.write(stream, 4, stream.length - 4);
    out.write(0);
    return out.toByteArray();
  }

  static byte[] generate(String kind, int size) {
    java.util.Random random = new java.util.Random(size * 31L + kind.hashCode());
    byte[] out = new byte[size];
    switch (kind) {
      case "random":
        random.nextBytes(out);
        break;
      case "runs":
        for (int i = 0; i < size;) {
          byte value = (byte) " \0\377A".charAt(random.nextInt(4));
          for (int n = 1 + random.nextInt(400); n > 0 && i < size; --n) out[i++] = value;
        }
        break;
      case "spaced-text": {
        String[] words = {"the", "installer", "package", "file", "of", "and", "a", "block",
                          "stream", "data", "window", "setup", "program", "is", "with"};
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < 200; ++i) text.append(' ');
        while (text.length() < size) {
          text.append(words[random.nextInt(words.length)]);
          text.append(random.nextInt(9) == 0 ? "\r\n      " : " ");
        }
        for (int i = 0; i < size; ++i) out[i] = (byte) text.charAt(i);
        break;
      }
      case "audio":  // 16-bit samples of two tones: nearly all literals
        for (int i = 0; i + 1 < size; i += 2) {
          int t = i / 2;
          short v = (short) (8000 * StrictMath.sin(t * 0.01) + 3000 * StrictMath.sin(t * 0.137));
          out[i] = (byte) v;
          out[i + 1] = (byte) (v >> 8);
        }
        break;
      default:
        throw new IllegalArgumentException("unknown kind " + kind);
    }
    return out;
  }
}
