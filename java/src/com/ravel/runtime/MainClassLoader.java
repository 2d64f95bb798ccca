package com.ravel.runtime;

import java.lang.reflect.Method;
import java.util.Optional;

/**
 * Finds the application's main class: by name through the class path, or in module mode
 * ("/module/class", or "/module" for the module's declared main class) in the boot layer,
 * where the launcher's "--add-modules" has put it. The module API is reached by reflection
 * because the runtime is compiled for Java 8 and must still load there in class path mode.
 */
final class MainClassLoader {
    private MainClassLoader() {
    }

    static Class<?> load(String mainClass) throws ClassNotFoundException {
        if (!mainClass.startsWith("/")) return Class.forName(mainClass, false, applicationLoader());
        String rest = mainClass.substring(1);
        int slash = rest.indexOf('/');
        String moduleName = slash < 0 ? rest : rest.substring(0, slash);
        String className = slash < 0 ? null : rest.substring(slash + 1);
        if (moduleName.isEmpty() || (className != null && className.isEmpty())) {
            throw new ClassNotFoundException("main class \"" + rest + "\" is not of the form module/class");
        }
        return loadFromModule(moduleName, className);
    }

    private static ClassLoader applicationLoader() {
        ClassLoader context = Thread.currentThread().getContextClassLoader();
        return context != null ? context : ClassLoader.getSystemClassLoader();
    }

    private static Class<?> loadFromModule(String moduleName, String className) throws ClassNotFoundException {
        Object module = bootLayerModule(moduleName);
        String name = className != null ? className : declaredMainClass(module, moduleName);
        Class<?> found;
        try {
            Class<?> moduleType = Class.forName("java.lang.Module");
            found = (Class<?>) Class.class.getMethod("forName", moduleType, String.class).invoke(null, module, name);
        } catch (ReflectiveOperationException e) {
            throw moduleFailure("cannot load " + name + " from module " + moduleName, e);
        }
        if (found == null) throw new ClassNotFoundException(name + " is not in module " + moduleName);
        return found;
    }

    private static Object bootLayerModule(String moduleName) throws ClassNotFoundException {
        Optional<?> module;
        try {
            Class<?> layerType = Class.forName("java.lang.ModuleLayer");
            Object boot = layerType.getMethod("boot").invoke(null);
            module = (Optional<?>) layerType.getMethod("findModule", String.class).invoke(boot, moduleName);
        } catch (ClassNotFoundException e) {
            throw new ClassNotFoundException("module mode needs Java 9 or later (module " + moduleName + ")", e);
        } catch (ReflectiveOperationException e) {
            throw moduleFailure("cannot look up module " + moduleName, e);
        }
        if (!module.isPresent()) {
            throw new ClassNotFoundException("module " + moduleName + " is not in the boot layer");
        }
        return module.get();
    }

    private static String declaredMainClass(Object module, String moduleName) throws ClassNotFoundException {
        try {
            Object descriptor = module.getClass().getMethod("getDescriptor").invoke(module);
            Method mainClass = descriptor.getClass().getMethod("mainClass");
            Optional<?> name = (Optional<?>) mainClass.invoke(descriptor);
            if (name.isPresent()) return (String) name.get();
        } catch (ReflectiveOperationException e) {
            throw moduleFailure("cannot read the descriptor of module " + moduleName, e);
        }
        throw new ClassNotFoundException("module " + moduleName + " declares no main class");
    }

    private static ClassNotFoundException moduleFailure(String what, Throwable cause) {
        return new ClassNotFoundException(what, cause);
    }
}
