// KveCdfDump FILE: lists a CDF through jcdf, the independent CDF reader of
// Debian's libjcdf-java, in a fixed text form that the CDF tests compare
// with what they wrote.  Reals are printed as the hex of their bits, so the
// comparison is exact.  Exit status 1 (with the reason on stderr) when jcdf
// rejects the file.
//
//   gattr NAME
//     entry J TYPE ITEMS
//   var NAME TYPE recvary=T|F dims=[..] records=N
//     rec R ITEMS                   (every value of the record, row major;
//                                    an EPOCH16 value as its two doubles)
//     attr NAME TYPE ITEMS
import java.io.File;
import java.lang.reflect.Array;
import uk.ac.bristol.star.cdf.AttributeEntry;
import uk.ac.bristol.star.cdf.CdfContent;
import uk.ac.bristol.star.cdf.CdfReader;
import uk.ac.bristol.star.cdf.GlobalAttribute;
import uk.ac.bristol.star.cdf.Variable;
import uk.ac.bristol.star.cdf.VariableAttribute;

public class KveCdfDump {
    static String item(Object o) {
        if (o != null && o.getClass().isArray())
            return items(o);  // an EPOCH16 value: its two doubles
        if (o instanceof Float)
            return "f" + Integer.toHexString(Float.floatToRawIntBits((Float) o));
        if (o instanceof Double)
            return "d" + Long.toHexString(Double.doubleToRawLongBits((Double) o));
        if (o instanceof String)
            return "[" + o + "]";
        return String.valueOf(o);
    }

    static String items(Object array) {
        StringBuilder sb = new StringBuilder();
        if (array == null)
            return "null";
        if (!array.getClass().isArray())
            return item(array);
        int n = Array.getLength(array);
        for (int i = 0; i < n; i++) {
            if (i > 0)
                sb.append(' ');
            sb.append(item(Array.get(array, i)));
        }
        return sb.toString();
    }

    static String entry(AttributeEntry e) {
        StringBuilder sb = new StringBuilder(e.getDataType().getName());
        for (int i = 0; i < e.getItemCount(); i++)
            sb.append(' ').append(item(e.getItem(i)));
        return sb.toString();
    }

    public static void main(String[] args) {
        try {
            CdfContent content = new CdfContent(new CdfReader(new File(args[0])));
            StringBuilder out = new StringBuilder();
            for (GlobalAttribute g : content.getGlobalAttributes()) {
                out.append("gattr ").append(g.getName()).append('\n');
                AttributeEntry[] entries = g.getEntries();
                for (int j = 0; j < entries.length; j++)
                    if (entries[j] != null)
                        out.append("  entry ").append(j).append(' ').append(entry(entries[j])).append('\n');
            }
            VariableAttribute[] vattrs = content.getVariableAttributes();
            for (Variable v : content.getVariables()) {
                int[] dims = v.getShaper().getDimSizes();
                StringBuilder ds = new StringBuilder();
                for (int d = 0; d < dims.length; d++)
                    ds.append(d > 0 ? "," : "").append(dims[d]);
                out.append("var ").append(v.getName()).append(' ').append(v.getDataType().getName())
                   .append(" recvary=").append(v.getRecordVariance() ? 'T' : 'F')
                   .append(" dims=[").append(ds).append("] records=").append(v.getRecordCount()).append('\n');
                Object work = v.createRawValueArray();
                for (int r = 0; r < v.getRecordCount(); r++)
                    out.append("  rec ").append(r).append(' ')
                       .append(items(v.readShapedRecord(r, true, work))).append('\n');
                for (VariableAttribute a : vattrs) {
                    AttributeEntry e = a.getEntry(v);
                    if (e != null)
                        out.append("  attr ").append(a.getName()).append(' ').append(entry(e)).append('\n');
                }
            }
            System.out.print(out);
        } catch (Throwable t) {
            System.err.println("jcdf rejects " + args[0] + ": " + t);
            System.exit(1);
        }
    }
}
