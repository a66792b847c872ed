// Writes Windows stores as the Windows programs kept them: Jet databases with
// the four tables accountName, itemName, hlgroup and hltime, in the column
// order and Jet types those programs used. Jackcess writes real Jet 4 and
// Access 2007 files, so the importer is tested on files no one made by hand.
//
//   java MakeStores OUT_DIR          the small stores and stores.expected
//   java MakeStores OUT_DIR bench    also Bench.mdb: 65,535 records, 131,070 spans
//
// stores.expected lists every row written, one a line, tab-separated:
// table, then the values in column order. Texts are escaped (\\ \t \n), a
// NULL is \N, a Yes/No is 0 or 1, a date is the exact OLE date double as
// 16 hex digits (its bits) followed by its value for reading.
import com.healthmarketscience.jackcess.ColumnBuilder;
import com.healthmarketscience.jackcess.DataType;
import com.healthmarketscience.jackcess.Database;
import com.healthmarketscience.jackcess.DatabaseBuilder;
import com.healthmarketscience.jackcess.DateTimeType;
import com.healthmarketscience.jackcess.Table;
import com.healthmarketscience.jackcess.TableBuilder;
import com.healthmarketscience.jackcess.impl.ColumnImpl;
import java.io.File;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.time.LocalDateTime;
import java.util.ArrayList;
import java.util.List;

public class MakeStores {
  static final String NAME_31 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";  // 31 bytes
  // 31 characters, 36 bytes in UTF-8: the store counts characters.
  static final String NAME_31_CHARS = "Überstunden für Müller & Söhne!";

  static String notes255() {
    StringBuilder b = new StringBuilder();
    while (b.length() < 255) b.append("Notes of 255 bytes. ");
    return b.substring(0, 255);
  }

  // The rows of the small stores: Object[] per row in column order.
  static final Object[][] ACCOUNTS = {
    {1, "Acme"},
    {2, "Café Müller"},
    {3, "東京事務所"},
    {4, NAME_31},
    {5, "O'Brien & Sons"},
    {6, null},
    // 40 characters: more than the store keeps (the import cuts it to 31).
    {7, "Forty characters of an account name: 40."},
  };
  static final Object[][] ITEMS = {
    {10, 1, "Work"},
    {11, 1, "Travel"},
    {20, 2, "Beratung"},
    {30, 3, "会議"},
    {40, 4, NAME_31_CHARS},
    {50, 5, null},
  };

  static Object[][] records() {
    LocalDateTime none = LocalDateTime.of(1900, 1, 1, 0, 0);
    return new Object[][] {
      // id, grpdate, acct, item, notes, invoiced, invoicedate, deleted
      {100, day(2003, 3, 10), 1, 10, "Invoiced, time of day in the date", true,
          LocalDateTime.of(2003, 3, 15, 14, 5, 0), true},
      {101, day(2003, 3, 11), 1, 11, "", true, LocalDateTime.of(2003, 3, 15, 23, 59, 59, 999_000_000),
          false},
      {102, day(2024, 2, 29), 2, 20, "Kaffee, Kuchen und Café-Gespräch", false, none, false},
      {103, day(2024, 3, 1), 3, 30, "会議の準備 ⏱ \uD83D\uDD52", false, null, false},
      {104, day(2025, 12, 31), 4, 40, notes255(), true, LocalDateTime.of(2026, 1, 2, 8, 30, 15),
          false},
      {105, day(2026, 11, 2), 5, 50, null, false, none, false},
      {106, day(2026, 11, 2), 1, 10, "Same day, stored after 105", false, none, false},
      {107, day(1999, 12, 31), 1, 10, "Tab\tand\nnewline", true,
          LocalDateTime.of(2000, 1, 1, 0, 0, 1), false},
      {2147483647, day(2026, 11, 30), 1, 10, "Highest id", false, none, false},
    };
  }

  static final Object[][] SPANS = {
    // parent, starttime (seconds after midnight), duration (minutes)
    {100, 9 * 3600, 90}, {100, 13 * 3600 + 30 * 60, 45},
    {101, 8 * 3600, 480},
    {102, 10 * 3600, 30}, {102, 11 * 3600, 15},
    {103, 0, 60},
    {104, 23 * 3600 + 30 * 60, 60},  // past midnight
    {105, 12 * 3600, 1},
    {106, 7 * 3600 + 15 * 60, 120},
    {107, 86399, 0},
    {2147483647, 6 * 3600, 600},
  };

  static int day(int y, int m, int d) {
    return y * 65536 + m * 256 + d;
  }

  static Database create(File file, Database.FileFormat format) throws IOException {
    file.delete();
    Database db = new DatabaseBuilder(file).setFileFormat(format).create();
    // A date is written as a LocalDateTime, never through the JVM's zone.
    db.setDateTimeType(DateTimeType.LOCAL_DATE_TIME);
    return db;
  }

  static ColumnBuilder col(String name, DataType type) {
    return new ColumnBuilder(name, type);
  }

  static ColumnBuilder text(String name, int chars) {
    return new ColumnBuilder(name, DataType.TEXT).setLengthInUnits(chars);
  }

  static Table[] makeTables(Database db) throws IOException {
    Table accounts = new TableBuilder("accountName")
        .addColumn(col("id", DataType.LONG)).addColumn(text("name", 50)).toTable(db);
    Table items = new TableBuilder("itemName")
        .addColumn(col("id", DataType.LONG)).addColumn(col("parent", DataType.LONG))
        .addColumn(text("name", 50)).toTable(db);
    Table records = new TableBuilder("hlgroup")
        .addColumn(col("id", DataType.LONG)).addColumn(col("grpdate", DataType.LONG))
        .addColumn(col("acct", DataType.LONG)).addColumn(col("item", DataType.LONG))
        .addColumn(text("notes", 255)).addColumn(col("invoiced", DataType.BOOLEAN))
        .addColumn(col("invoicedate", DataType.SHORT_DATE_TIME))
        .addColumn(col("deleted", DataType.BOOLEAN)).toTable(db);
    Table spans = new TableBuilder("hltime")
        .addColumn(col("parent", DataType.LONG)).addColumn(col("starttime", DataType.LONG))
        .addColumn(col("duration", DataType.LONG)).toTable(db);
    return new Table[] {accounts, items, records, spans};
  }

  static String escape(Object value) {
    if (value == null) return "\\N";
    if (value instanceof Boolean) return ((Boolean) value) ? "1" : "0";
    if (value instanceof LocalDateTime) {
      double ole = ColumnImpl.toDateDouble((LocalDateTime) value);
      return String.format("%016x %s", Double.doubleToLongBits(ole), Double.toString(ole));
    }
    return value.toString().replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n");
  }

  static void writeStore(File file, Database.FileFormat format, Object[][][] rows)
      throws IOException {
    try (Database db = create(file, format)) {
      Table[] tables = makeTables(db);
      for (int t = 0; t < tables.length; ++t) {
        List<Object[]> batch = new ArrayList<>();
        for (Object[] row : rows[t]) batch.add(row);
        tables[t].addRows(batch);
      }
    }
  }

  public static void main(String[] args) throws IOException {
    File out = new File(args[0]);
    Object[][][] rows = {ACCOUNTS, ITEMS, records(), SPANS};
    writeStore(new File(out, "Pocket_PC.mdb"), Database.FileFormat.V2000, rows);
    writeStore(new File(out, "Jane_Phone.accdb"), Database.FileFormat.V2007, rows);
    String[] names = {"accountName", "itemName", "hlgroup", "hltime"};
    StringBuilder expected = new StringBuilder();
    for (int t = 0; t < names.length; ++t) {
      for (Object[] row : rows[t]) {
        expected.append(names[t]);
        for (Object value : row) expected.append('\t').append(escape(value));
        expected.append('\n');
      }
    }
    Files.write(new File(out, "stores.expected").toPath(),
                expected.toString().getBytes(StandardCharsets.UTF_8));
    if (args.length > 1 && args[1].equals("bench")) writeBench(new File(out, "Bench.mdb"));
  }

  // 65,535 records of 2 spans each, over 10 accounts of 10 items.
  static void writeBench(File file) throws IOException {
    Object[][] accounts = new Object[10][];
    Object[][] items = new Object[100][];
    for (int a = 0; a < 10; ++a) accounts[a] = new Object[] {a + 1, "Account " + (a + 1)};
    for (int i = 0; i < 100; ++i) items[i] = new Object[] {1000 + i, i / 10 + 1, "Item " + i};
    Object[][] records = new Object[65535][];
    Object[][] spans = new Object[131070][];
    LocalDateTime none = LocalDateTime.of(1900, 1, 1, 0, 0);
    for (int r = 0; r < records.length; ++r) {
      int item = r % 100;
      boolean invoiced = r % 3 == 0;
      records[r] = new Object[] {r + 1, day(2000 + r / 5000, 1 + r / 400 % 12, 1 + r % 28),
          item / 10 + 1, 1000 + item, "Record " + (r + 1), invoiced,
          invoiced ? LocalDateTime.of(2020, 1, 1, 12, 0).plusMinutes(r) : none, invoiced && r % 2 == 0};
      spans[2 * r] = new Object[] {r + 1, 9 * 3600, 30 + r % 60};
      spans[2 * r + 1] = new Object[] {r + 1, 14 * 3600, 15};
    }
    writeStore(file, Database.FileFormat.V2000, new Object[][][] {accounts, items, records, spans});
  }
}
