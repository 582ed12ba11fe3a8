package kestrune.support;

import java.net.URL;
import java.net.URLClassLoader;
import java.util.Hashtable;

/** Loads the JDBC driver's classes from the jars of the driver's Java library directory. */
public class KRSClassLoader extends URLClassLoader {
    private static Hashtable classes = new Hashtable();

    public KRSClassLoader(URL[] urls) {
        super(urls);
    }

    protected Class findClass(String name) throws ClassNotFoundException {
        Class c = (Class) classes.get(name);
        if (c != null)
            return c;
        c = super.findClass(name);
        if (c != null)
            classes.put(name, c);
        return c;
    }
}
